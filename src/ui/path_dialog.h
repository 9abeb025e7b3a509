#pragma once

// Lets the user confirm, change or cancel installFolder; Cancel leaves it empty.
void runPathDialog();
