#pragma once

// The version verdict's results, which the updater's stages share.
enum StageResult {
    RESULT_MISSING = 100,
    RESULT_OK = 102,
    RESULT_TOO_OLD = 103,
    RESULT_UP_TO_DATE = 104,
    RESULT_NEWER = 105,
};
