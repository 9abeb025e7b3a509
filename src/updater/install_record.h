#pragma once

// The product's record under HKEY_CURRENT_USER\<registryKey>. Each call opens
// and closes the key itself and tells the user of its own failures.
int readInstallPath();        // RESULT_OK or RESULT_MISSING; fills installFolder
int readInstalledVersion();   // RESULT_OK or RESULT_MISSING; fills installedVersion
int checkInstalledVersion();  // RESULT_MISSING or the version verdict
int stampVersion();           // 1 written, 0 failed
