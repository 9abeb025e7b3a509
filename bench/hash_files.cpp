// SHA-256 of the files a verified run hashes, with the library the updater
// hashes with (CNG), read as the updater reads them: the cost a verification
// may add to the unverified run.
//   hash_files.exe <patch folder> <count>
#include <windows.h>
#include <bcrypt.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    static char buffer[1 << 20];
    BCRYPT_ALG_HANDLE sha256;
    if (BCryptOpenAlgorithmProvider(&sha256, BCRYPT_SHA256_ALGORITHM, NULL, 0) != 0)
        return 1;
    int count = atoi(argv[2]);
    for (int i = 0; i < count; i++) {
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%s\\f%02d.bin", argv[1], i);
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
        BCRYPT_HASH_HANDLE hash;
        BCryptCreateHash(sha256, &hash, NULL, 0, NULL, 0, 0);
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0)
            BCryptHashData(hash, (PUCHAR)buffer, got, 0);
        unsigned char digest[32];
        BCryptFinishHash(hash, digest, sizeof digest, 0);
        BCryptDestroyHash(hash);
        CloseHandle(file);
    }
    BCryptCloseAlgorithmProvider(sha256, 0);
    return 0;
}
