#include "file_marks.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

bool isReadOnly(const fs::path& file)
{
    std::error_code failed;
    fs::file_status status = fs::status(file, failed);
    return !failed && (status.permissions() & fs::perms::owner_write) == fs::perms::none;
}

bool isHidden([[maybe_unused]] const fs::path& file)
{
#ifdef _WIN32
    DWORD attributes = GetFileAttributesW(file.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN);
#else
    return false;
#endif
}

void makePlain(const fs::path& file)
{
#ifdef _WIN32
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
}
