// libFuzzer target over patchtool check: any bytes as update.txt, beside a small
// fixed patch folder, are checked without a fault, and every diagnostic names
// the script or a file of that folder.
#include <stdint.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "patchtool/check_patch.h"

namespace fs = std::filesystem;

static fs::path patchFolder()
{
    fs::path folder = fs::temp_directory_path() / "check-fuzz";
    fs::create_directories(folder);
    for (const char* name : {"updater.exe", "game.exe", "level1.map"})
        std::ofstream(folder / name) << name;
    return folder;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const fs::path folder = patchFolder();
    Report report;
    int entries = checkScript(folder, std::string(reinterpret_cast<const char*>(data), size), report);
    if (entries < 0 || entries > 50)
        abort();
    for (const Report::Item& item : report.items)
        if (item.where.rfind(folder.generic_string(), 0) != 0)
            abort();
    return 0;
}
