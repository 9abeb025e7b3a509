#pragma once
#include <stdint.h>

// The verdict on a patch: RESULT_NEWER, RESULT_UP_TO_DATE, RESULT_TOO_OLD or
// RESULT_OK, from the patch version, the installed version and the minimum
// version. Builds are compared through the last three decimal digits only.
int versionVerdict(int32_t patchVersion, int32_t installedVersion, int32_t minimumVersion);
