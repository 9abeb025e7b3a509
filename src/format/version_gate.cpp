#include "version_gate.h"

#include "stage_results.h"

// The remainder keeps the sign of the version (C++ truncates toward zero).
static int32_t buildNumber(int32_t version)
{
    return version % 1000;
}

int versionVerdict(int32_t patchVersion, int32_t installedVersion, int32_t minimumVersion)
{
    if (patchVersion < installedVersion)
        return RESULT_NEWER;
    if (patchVersion == installedVersion)
        return RESULT_UP_TO_DATE;
    int32_t patchBuild = buildNumber(patchVersion);
    int32_t installedBuild = buildNumber(installedVersion);
    if (patchBuild > installedBuild + 1 && installedBuild < buildNumber(minimumVersion))
        return RESULT_TOO_OLD;
    return RESULT_OK;
}
