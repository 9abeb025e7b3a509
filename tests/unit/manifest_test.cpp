// The signed manifest: its text, its signatures' encodings, and patchtool's keys and signatures
// against OpenSSL's own command line, both ways.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "format/patch_manifest.h"
#include "patchtool/patchtool.h"

namespace fs = std::filesystem;

namespace {

const std::string H = "sorvane patch manifest 1\n";
const std::string SHA(64, 'a');
const std::string KEY = "key " + std::string(128, '1') + "\n";
// A DER signature of two 32-byte numbers, r with its top bit set (so a sign byte), s without.
const std::string SIG = "signature 3045022100" + std::string(64, 'f') + "0220" + std::string(64, '1') + "\n";

// Text, whether it reads, the files it lists, whether it is signed (or the line it fails on).
TEST(ParseManifest, Table)
{
    const struct {
        std::string text;
        bool reads;
        int filesOrBadLine;
        bool hasSignature;
    } rows[] = {
        {H, true, 0, false},
        {H + SHA + " 42 update.txt\n", true, 1, false},
        {H + SHA + " 42 update.txt", true, 1, false},                  // the last line needs no line feed
        {H + SHA + " 0 game.exe -x\n", true, 1, false},                // a name with blanks: the rest of the line
        {H + KEY + SHA + " 1 a.dat\n" + SIG, true, 1, true},
        {H + SHA + " 1 a.dat\n" + SIG.substr(0, SIG.size() - 1), true, 1, true},
        {"", false, 1, false},
        {"sorvane patch manifest 2\n", false, 1, false},
        {"\xEF\xBB\xBF" + H, false, 1, false},                         // a byte order mark
        {H + SHA + " 42 update.txt\r\n", false, 2, false},             // CR LF: the name would hold a CR
        {H + SHA.substr(1) + " 42 a.dat\n", false, 2, false},          // 63 digits
        {H + std::string(63, 'a') + "g 42 a.dat\n", false, 2, false},  // not hex
        {H + SHA + " 042 a.dat\n", false, 2, false},                   // a size is written one way only
        {H + SHA + " -1 a.dat\n", false, 2, false},
        {H + SHA + " 18446744073709551616 a.dat\n", false, 2, false},  // past 64 bits
        {H + SHA + " 18446744073709551615 a.dat\n", true, 1, false},
        {H + SHA + " 1 \n", false, 2, false},                          // no name
        {H + SHA + " 1 data\\a.dat\n", false, 2, false},               // flat names only
        {H + SHA + " 1 a.dat\n" + SHA + " 1 A.DAT\n", false, 3, false},  // the same file twice
        {H + SHA + " 1 data.pak\n" + SHA + " 1 data.pak.old\n", true, 2, false},  // one name begins another
        {H + SHA + " 1 a.dat\n\n", false, 3, false},                   // a blank line
        {H + SHA + " 1 a.dat\n" + KEY, false, 3, false},               // the key line comes second
        {H + SIG + SHA + " 1 a.dat\n", false, 3, false},               // nothing after the signature
        {H + "signature 3045\n", false, 2, false},
        {H + "signature 30450221" + std::string(142, '0') + "\n", false, 2, false},
        // An old version's file: an installed path, backslashes and blanks allowed; "-" for none.
        {H + SHA + " 1 a.dat\nold " + SHA + " 5 data\\maps\\a map\n" + SIG, true, 1, true},
        {H + "old - data\\a.dat\nold - data\\a.dat\n", true, 0, false},
        {H + "old " + SHA + " 5\n", false, 2, false},                  // no path
        {H + "old " + SHA + " 5 \n", false, 2, false},
        {H + "old -\n", false, 2, false},
        {H + "old -x\n", false, 2, false},
        {H + "old x 5 a.dat\n", false, 2, false},
        {H + "old " + SHA + " 5 a.dat\r\n", false, 2, false},
        {H + "Old - a.dat\n", false, 2, false},
    };
    for (const auto& row : rows) {
        static PatchManifest manifest;
        EXPECT_EQ(parseManifest(row.text.data(), row.text.size(), &manifest), row.reads) << row.text;
        EXPECT_EQ(row.reads ? manifest.fileCount : manifest.badLine, row.filesOrBadLine) << row.text;
        EXPECT_EQ(row.reads && manifest.hasSignature, row.hasSignature) << row.text;
    }
}

TEST(ParseManifest, SignatureCoversEverythingBeforeItsLine)
{
    std::string text = H + KEY + SHA + " 7 a.dat\n" + SIG;
    static PatchManifest manifest;
    ASSERT_TRUE(parseManifest(text.data(), text.size(), &manifest));
    EXPECT_EQ(manifest.signedLength, text.size() - SIG.size());
    EXPECT_EQ(manifest.files[0].size, 7u);
    EXPECT_EQ(manifest.signature[0], 0xff);   // r without its sign byte
    EXPECT_EQ(manifest.signature[32], 0x11);  // s
    EXPECT_EQ(findManifestFile(&manifest, "A.Dat"), &manifest.files[0]);
    EXPECT_EQ(findManifestFile(&manifest, "a.da"), nullptr);
    std::string two = H + SHA + " 1 data.pak.old\n" + SHA + " 2 data.pak\n";
    ASSERT_TRUE(parseManifest(two.data(), two.size(), &manifest));
    EXPECT_EQ(findManifestFile(&manifest, "data.pak"), &manifest.files[1]);
    EXPECT_EQ(findManifestFile(&manifest, "data.pak.o"), nullptr);
}

std::vector<uint8_t> fromHex(const std::string& hex)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// DER as OpenSSL writes it; r and s as CNG takes them. Short numbers are padded, and only the
// strict encoding is taken.
TEST(SignatureEncoding, Table)
{
    const std::string R(64, '7'), S(64, '2');
    const struct {
        std::string der, raw;  // raw "" when the DER is refused
    } rows[] = {
        {"3044" "0220" + R + "0220" + S, R + S},
        {"3045" "022100" + std::string(64, 'f') + "0220" + S, std::string(64, 'f') + S},
        {"3043" "021f" + R.substr(2) + "0220" + S, "00" + R.substr(2) + S},  // a short r
        {"3025" "0201" "01" "0220" + S, std::string(62, '0') + "01" + S},
        {"3045" "022100" + R + "0220" + S, ""},       // a sign byte that is not needed
        {"3044" "0220" + std::string(64, 'f') + "0220" + S, ""},  // a negative number
        {"3044" "0320" + R + "0220" + S, ""},         // not an INTEGER
        {"3045" "0220" + R + "0220" + S + "00", ""},  // a byte too many
        {"3046" "0222" "0000" + R + "0220" + S, ""},  // 34 bytes
        {"3006" "0200" "0202" "0101", ""},            // an empty number
    };
    for (const auto& row : rows) {
        std::vector<uint8_t> der = fromHex(row.der), raw(RAW_SIGNATURE_BYTES);
        bool read = signatureFromDer(der.data(), der.size(), raw.data());
        EXPECT_EQ(read, !row.raw.empty()) << row.der;
        if (!read)
            continue;
        EXPECT_EQ(raw, fromHex(row.raw)) << row.der;
        uint8_t back[MAX_DER_SIGNATURE_BYTES];
        EXPECT_EQ(std::vector<uint8_t>(back, back + signatureToDer(raw.data(), back)), der) << row.der;
    }
}

// patchtool in a folder of its own, and openssl's command line.
class Signing : public testing::Test {
protected:
    fs::path root = fs::temp_directory_path() / "patchtool-signing" / testing::UnitTest::GetInstance()->current_test_info()->name();
    void SetUp() override
    {
        fs::remove_all(root);
        fs::create_directories(root / "old");
        fs::create_directories(root / "new");
        fs::current_path(root);
        std::ofstream("old/a.dat") << "1";
        std::ofstream("new/a.dat") << "2";
        std::ofstream("u.exe") << "MZ" + std::string(58, '\0') + std::string("\x40\0\0\0PE\0\0", 8);
    }
    int patchtool(const std::string& words)
    {
        std::istringstream in(words);
        std::vector<std::string> args{std::istream_iterator<std::string>(in), {}};
        std::ostringstream out, err;
        int status = runPatchtool(args, out, err, false);
        errors = err.str();
        return status;
    }
    static int shell(const std::string& command) { return std::system(("(" + command + ") >/dev/null 2>&1").c_str()); }
    std::string errors;
};

TEST_F(Signing, KeygenWritesOwnerOnlyAndNeverOverwrites)
{
    ASSERT_EQ(patchtool("keygen vendor.key"), 0) << errors;
    struct stat info;
    ASSERT_EQ(stat("vendor.key", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(shell("openssl pkey -in vendor.key -noout"), 0);
    EXPECT_EQ(shell("openssl pkey -pubin -in vendor.key.pub -noout"), 0);
    std::string before = std::string(std::istreambuf_iterator<char>(std::ifstream("vendor.key").rdbuf()), {});
    EXPECT_EQ(patchtool("keygen vendor.key"), 2);
    EXPECT_EQ(before, std::string(std::istreambuf_iterator<char>(std::ifstream("vendor.key").rdbuf()), {}));
    fs::remove("vendor.key");
    EXPECT_EQ(patchtool("keygen vendor.key"), 2) << "the public key's file is in the way too";
    EXPECT_FALSE(fs::exists("vendor.key"));
}

// patchtool's signature is OpenSSL's, and the other way round.
TEST_F(Signing, OpenSslVerifiesPatchtoolAndPatchtoolTakesOpenSsl)
{
    ASSERT_EQ(patchtool("keygen k"), 0) << errors;
    ASSERT_EQ(patchtool("build old new out --key K --version 2 --min 1 --updater u.exe --sign k"), 0) << errors;
    ASSERT_EQ(shell("head -n -1 out/update.manifest > body && tail -n 1 out/update.manifest | cut -d' ' -f2 | perl -ne 'chomp; print pack \"H*\", $_' > sig"), 0);
    EXPECT_EQ(shell("openssl dgst -sha256 -verify k.pub -signature sig body"), 0);
    EXPECT_EQ(patchtool("check out --key k.pub"), 0) << errors;

    ASSERT_EQ(shell("openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out o.pem && "
                    "openssl pkey -in o.pem -pubout -out o.pub"), 0);
    ASSERT_EQ(patchtool("build old new plain --key K --version 2 --min 1 --updater u.exe"), 0) << errors;
    ASSERT_EQ(shell("cp plain/update.manifest body && (cat body; echo \"signature $(openssl dgst -sha256 -sign o.pem -hex body "
                    "| sed 's/.*= //')\") > plain/update.manifest"), 0);
    EXPECT_EQ(patchtool("check plain --key o.pub"), 0) << errors;
    EXPECT_EQ(patchtool("check plain --key k.pub"), 1);
    EXPECT_NE(errors.find("plain/update.manifest: error: is not signed with the key of --key"), std::string::npos) << errors;
    EXPECT_EQ(patchtool("sign plain o.pem"), 0) << errors;  // patchtool signs with OpenSSL's own key file too
    EXPECT_EQ(patchtool("check plain --key o.pub"), 0) << errors;
}

// A manifest's old lines as "size path" or "- path", joined by "|": sizes tell the rows' versions apart.
std::string oldLinesOf(const char* manifest)
{
    std::ifstream in(manifest);
    std::string lines;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("old ", 0) == 0)
            lines += (lines.empty() ? "" : "|") + line.substr(line.rfind("old - ", 0) == 0 ? 4 : 69);
    return lines;
}

// The old lines build writes: each file the patch installs, as each OLD tree holds it ("-" where one
// lacks it), and one file every OLD holds that the patch leaves alone. Sizes tell the versions apart.
TEST_F(Signing, BuildListsTheVersionsItUpdates)
{
    const struct {
        const char* trees;  // "tree/path=content|..."; the last tree named in the command is NEW
        const char* folders;
        const char* oldLines;  // "size path" or "- path", as written
    } rows[] = {
        {"v1/a.dat=1|v1/b.dat=bb|v2/a.dat=22|v2/b.dat=bb", "v1 v2", "1 a.dat|2 b.dat"},
        {"v1/a.dat=1|v2/a.dat=22|v3/a.dat=333|v1/x=xx|v2/x=xx|v3/x=xx", "v1 v2 v3", "1 a.dat|2 a.dat|2 x"},
        {"v1/a.dat=1|v2/a.dat=1|v3/a.dat=333|v1/x=xx|v2/x=xx|v3/x=xx", "v1 v2 v3", "1 a.dat|2 x"},
        {"v1/x=x|v2/x=x|v2/n.dat=n", "v1 v2", "- n.dat|1 x"},
        {"v1/x=x|v2/x=x|v2/c.dat=cc|v3/x=x|v3/c.dat=ccc", "v1 v2 v3", "- c.dat|2 c.dat|1 x"},
        {"v1/sub/a.dat=1|v1/x=x|v2/sub/a.dat=22|v2/x=x", "v1 v2", "1 sub\\a.dat|1 x"},
        // The anchor is a file every OLD holds: here none is, so the shipped files alone prove the folder.
        {"v1/a.dat=1|v1/y=yyy|v2/a.dat=1|v2/x=x|v3/a.dat=22|v3/x=x", "v1 v2 v3", "1 a.dat|- x|1 x"},
    };
    for (const auto& row : rows) {
        fs::remove_all(root);
        fs::create_directories(root);
        fs::current_path(root);
        std::ofstream("u.exe") << "MZ" + std::string(58, '\0') + std::string("\x40\0\0\0PE\0\0", 8);
        std::stringstream files(row.trees);
        for (std::string item; std::getline(files, item, '|');) {
            fs::path file = item.substr(0, item.find('='));
            fs::create_directories(file.parent_path());
            std::ofstream(file) << item.substr(item.find('=') + 1);
        }
        ASSERT_EQ(patchtool(std::string("build ") + row.folders + " out --key K --version 2 --min 1 --updater u.exe"), 0) << errors;
        EXPECT_EQ(oldLinesOf("out/update.manifest"), row.oldLines) << row.trees;
    }
}

// sign lists the old versions it is given, and keeps those of the manifest it signs again.
TEST_F(Signing, SignKeepsOrListsTheOldVersions)
{
    ASSERT_EQ(patchtool("keygen k"), 0) << errors;
    ASSERT_EQ(patchtool("build old new out --key K --version 2 --min 1 --updater u.exe"), 0) << errors;
    EXPECT_EQ(oldLinesOf("out/update.manifest"), "1 a.dat");
    ASSERT_EQ(patchtool("sign out k"), 0) << errors;
    EXPECT_EQ(oldLinesOf("out/update.manifest"), "1 a.dat");
    std::ofstream("other.dat") << "333";
    fs::create_directories("v0");
    std::ofstream("v0/a.dat") << "4444";
    ASSERT_EQ(patchtool("sign out k --old old --old v0"), 0) << errors;
    EXPECT_EQ(oldLinesOf("out/update.manifest"), "1 a.dat|4 a.dat");
    EXPECT_EQ(errors.find("lists no old versions"), std::string::npos) << errors;
    ASSERT_EQ(shell("sed -i '/^old /d' out/update.manifest"), 0);
    ASSERT_EQ(patchtool("sign out k"), 0) << errors;
    EXPECT_NE(errors.find("out/update.manifest: warning: lists no old versions"), std::string::npos) << errors;
    EXPECT_EQ(patchtool("sign out k --old absent"), 2);
    EXPECT_EQ(patchtool("sign out k --key old"), 2);
}

// Key files as vendors have them: each is a usage error (2) that names the file and what it is, and
// nothing is written.
TEST_F(Signing, KeyFilesOfOtherKinds)
{
    ASSERT_EQ(patchtool("keygen k"), 0) << errors;
    ASSERT_EQ(shell("openssl req -x509 -key k -subj /CN=vendor -days 1 -out k.crt && "
                    "openssl genrsa -out rsa.key 2048 && openssl rsa -in rsa.key -pubout -out rsa.pub && "
                    "openssl pkey -in k -aes256 -passout pass:x -out encrypted.key && "
                    "iconv -f UTF-8 -t UTF-16 k.pub > utf16.pub && iconv -f UTF-8 -t UTF-16 k > utf16.key && "
                    ": > empty.key && mkdir folder.key"), 0);
    const struct {
        const char* command;
        const char* says;
    } rows[] = {
        {"check old --key empty.key", "patchtool: empty.key: is empty"},
        {"check old --key k", "patchtool: k: is a private key"},
        {"check old --key k.crt", "patchtool: k.crt: is a certificate"},
        {"check old --key rsa.pub", "patchtool: rsa.pub: is an RSA key"},
        {"check old --key utf16.pub", "patchtool: utf16.pub: is UTF-16 text"},
        {"check old --key folder.key", "patchtool: folder.key: is a folder"},
        {"check old --key absent.pub", "patchtool: absent.pub: cannot be read"},
        {"plan old new --key rsa.key", "patchtool: rsa.key: is an RSA key"},
        {"build old new out --key K --version 2 --min 1 --updater u.exe --sign empty.key", "patchtool: empty.key: is empty"},
        {"build old new out --key K --version 2 --min 1 --updater u.exe --sign k.pub", "patchtool: k.pub: is a public key"},
        {"build old new out --key K --version 2 --min 1 --updater u.exe --sign encrypted.key", "patchtool: encrypted.key: is encrypted"},
        {"build old new out --key K --version 2 --min 1 --updater u.exe --sign utf16.key", "patchtool: utf16.key: is UTF-16 text"},
        {"build old new out --key K --version 2 --min 1 --updater u.exe --sign k.crt", "patchtool: k.crt: is a certificate"},
        {"keygen vendor.key.pub", "patchtool: vendor.key.pub: a name ending in .pub"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(patchtool(row.command), 2) << row.command << "\n" << errors;
        EXPECT_EQ(errors.rfind(row.says, 0), 0u) << row.command << "\n" << errors;
        EXPECT_FALSE(fs::exists("out") || fs::exists("vendor.key.pub")) << row.command;
    }
    EXPECT_EQ(patchtool("plan out old --version 1 --key k.pub"), 2) << "no patch folder yet";
    ASSERT_EQ(patchtool("build old new out --key K --version 2 --min 1 --updater u.exe --sign k"), 0) << errors;
    EXPECT_EQ(patchtool("plan out old --key k.pub --version 1"), 0) << errors;
}

// build shows every warning its closing check finds, and tells how to sign in its own terms.
TEST_F(Signing, BuildTellsWhatItsSignatureNeeds)
{
    ASSERT_EQ(patchtool("keygen k"), 0) << errors;
    ASSERT_EQ(patchtool("build old new out --key K --version 2 --min 1 --updater u.exe --sign k"), 0) << errors;
    EXPECT_NE(errors.find("out/updater.exe: warning: holds no patch key"), std::string::npos) << errors;
    ASSERT_EQ(shell("(cat u.exe; printf 'sorvane patch key 1:\\000'; openssl pkey -pubin -in k.pub -outform DER | tail -c 64) > keyed.exe"), 0);
    EXPECT_EQ(patchtool("build old new unsigned --key K --version 2 --min 1 --updater keyed.exe"), 1) << errors;
    EXPECT_NE(errors.find("unsigned/update.manifest: error: is not signed: the updater with the vendor's key refuses it; sign it with --sign KEY in this build"), std::string::npos) << errors;
    EXPECT_FALSE(fs::exists("unsigned"));
}

// A signature that updater.exe would refuse leaves the manifest that was there.
TEST_F(Signing, SignWithAnotherKeyWritesNothing)
{
    ASSERT_EQ(patchtool("keygen k"), 0) << errors;
    ASSERT_EQ(patchtool("keygen other"), 0) << errors;
    ASSERT_EQ(shell("(cat u.exe; printf 'sorvane patch key 1:\\000'; openssl pkey -pubin -in k.pub -outform DER | tail -c 64) > keyed.exe"), 0);
    ASSERT_EQ(patchtool("build old new out --key K --version 2 --min 1 --updater keyed.exe --sign k"), 0) << errors;
    std::string before = std::string(std::istreambuf_iterator<char>(std::ifstream("out/update.manifest").rdbuf()), {});
    EXPECT_EQ(patchtool("sign out other"), 1) << errors;
    EXPECT_NE(errors.find("is not signed with the key that updater.exe holds"), std::string::npos) << errors;
    EXPECT_EQ(before, std::string(std::istreambuf_iterator<char>(std::ifstream("out/update.manifest").rdbuf()), {}));
    EXPECT_EQ(patchtool("sign out k"), 0) << errors;
}

// A signed patch changed after signing, and what check says of it.
TEST_F(Signing, CheckTellsEachChangeAfterSigning)
{
    ASSERT_EQ(patchtool("keygen k"), 0) << errors;
    ASSERT_EQ(patchtool("keygen other"), 0) << errors;
    const struct {
        const char* change;  // a shell command in the folder that holds the patch "out"
        const char* key;
        const char* error;   // "" for none
    } rows[] = {
        {"true", "k.pub", ""},
        {"true", "other.pub", "out/update.manifest: error: is not signed with the key of --key"},
        {"printf 3 > out/a.dat", "k.pub", "out/a.dat: error: differs from its size and SHA-256"},
        {"printf 22 > out/a.dat", "k.pub", "out/a.dat: error: differs from its size and SHA-256"},
        {"rm out/a.dat", "k.pub", "out/update.manifest: error: lists \"a.dat\", which is not in the patch folder"},
        {"printf 'b.dat\\r\\n' >> out/update.txt && printf b > out/b.dat", "k.pub", "out/update.txt: error: differs"},
        {"sed -i '/ a.dat$/d' out/update.manifest", "k.pub", "out/update.manifest: error: does not list \"a.dat\""},
        {"sed -i 's/^\\(signature .\\{20\\}\\)0/\\1f/; t; s/^\\(signature .\\{20\\}\\)./\\10/' out/update.manifest", "k.pub", "out/update.manifest: error: its signature does not verify"},
        {"sed -i '$d' out/update.manifest", "k.pub", "out/update.manifest: error: is not signed"},
        {"rm out/update.manifest", "k.pub", "out/update.manifest: error: missing: the patch is not signed"},
        {"printf x >> out/update.manifest", "k.pub", "out/update.manifest:"},
        {"sed -i 's/$/\\r/' out/update.manifest", "k.pub", "out/update.manifest:1: error: its line ends were converted to CR LF"},
    };
    for (const auto& row : rows) {
        fs::remove_all("out");
        ASSERT_EQ(patchtool("build old new out --key K --version 2 --min 1 --updater u.exe --sign k"), 0) << errors;
        ASSERT_EQ(shell(row.change), 0) << row.change;
        EXPECT_EQ(patchtool(std::string("check out --key ") + row.key), *row.error ? 1 : 0) << row.change << "\n" << errors;
        EXPECT_NE(errors.find(row.error), std::string::npos) << row.change << "\n" << errors;
    }
}

}  // namespace
