// libFuzzer target over patchtool check and plan: any bytes as update.txt, beside
// a small fixed patch folder, are checked without a fault, every diagnostic of
// check names the script or a file of that folder, and plan over a small
// installation gives one of its three answers.
#include <stdint.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include <sstream>

#include "patchtool/check_patch.h"
#include "patchtool/plan_patch.h"

namespace fs = std::filesystem;

static fs::path patchFolder()
{
    fs::path folder = fs::temp_directory_path() / "check-fuzz";
    fs::create_directories(folder);
    for (const char* name : {"updater.exe", "game.exe", "level1.map"})
        std::ofstream(folder / name) << name;
    return folder;
}

static fs::path installFolder()
{
    fs::path folder = fs::temp_directory_path() / "check-fuzz-install";
    fs::create_directories(folder / "data" / "maps");
    std::ofstream(folder / "game.exe") << "old";
    return folder;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const fs::path folder = patchFolder(), install = installFolder();
    Report report;
    int entries = checkScript(folder, std::string(reinterpret_cast<const char*>(data), size), report);
    if (entries < 0 || entries > 50)
        abort();
    for (const Report::Item& item : report.items)
        if (item.where.rfind(folder.generic_string(), 0) != 0)
            abort();
    std::ofstream(folder / "update.txt", std::ios::binary) << std::string(reinterpret_cast<const char*>(data), size);
    Report planned;
    std::ostringstream out;
    int status = planPatch(folder, install, size % 2 ? "1005" : "", "", planned, out);
    if (status < 0 || status > 2)
        abort();
    return 0;
}
