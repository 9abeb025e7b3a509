#include "windows_program.h"

#include <cstdint>
#include <fstream>
#include <iterator>

namespace {

uint32_t readLittleEndian(const std::string& bytes, size_t at, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; i--)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

}  // namespace

bool isWindowsProgram(const std::filesystem::path& file, std::string& version)
{
    version.clear();
    std::ifstream in(file, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    if (bytes.size() < 64 || bytes.compare(0, 2, "MZ") != 0)
        return false;
    uint32_t header = readLittleEndian(bytes, 0x3C, 4);
    if (header > bytes.size() - 4 || bytes.compare(header, 4, std::string("PE\0\0", 4)) != 0)
        return false;
    // VS_FIXEDFILEINFO begins with the signature FEEF04BD; FileVersion follows as two
    // 32-bit words, each of two 16-bit numbers, the high one first.
    size_t fixed = bytes.find(std::string("\xBD\x04\xEF\xFE", 4));
    if (fixed != std::string::npos && fixed + 16 <= bytes.size()) {
        uint32_t high = readLittleEndian(bytes, fixed + 8, 4), low = readLittleEndian(bytes, fixed + 12, 4);
        version = std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." + std::to_string(low >> 16) +
                  "." + std::to_string(low & 0xFFFF);
    }
    return true;
}

bool carriesAuthenticode(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    if (bytes.size() < 64 || bytes.compare(0, 2, "MZ") != 0)
        return false;
    uint32_t header = readLittleEndian(bytes, 0x3C, 4);
    if (header > bytes.size() - 26)
        return false;
    uint32_t magic = readLittleEndian(bytes, header + 24, 2);
    size_t directories = header + 24 + (magic == 0x20B ? 112 : 96), security = directories + 4 * 8;  // entry 4
    return security + 8 <= bytes.size() && readLittleEndian(bytes, security + 4, 4) != 0;
}
