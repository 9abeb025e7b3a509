#pragma once

// Results of the run's stages, shared by the record, the version gate and the run.
enum StageResult {
    RESULT_MISSING = 100,
    RESULT_OK = 102,
    RESULT_TOO_OLD = 103,
    RESULT_UP_TO_DATE = 104,
    RESULT_NEWER = 105,
};
