// Whether an installation is one a patch updates: each row is the manifest's old lines and files,
// the script's entries, what the installation holds, and the verdict.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "format/installation_proof.h"

namespace {

// A digest of one repeated hex digit, so that rows read as letters: "a" is sha256 aaaa...
std::string sha(char digit) { return std::string(64, digit); }

struct ProofCase {
    const char* name;
    std::string manifest;  // after the header: file lines and old lines
    const char* entries;   // the script's entries, one a line
    const char* found;     // for each old path in order: "-" absent, else "<digit><size>"
    InstallationProof verdict;
    int differing;
};

void PrintTo(const ProofCase& row, std::ostream* out) { *out << row.name; }

const std::string A = sha('1') + " 4 a.dat\n";   // the patch's a.dat: 4 bytes, digest 1111...
const std::string OLD_A = "old " + sha('a') + " 1 a.dat\n";
const std::string ANCHOR = "old " + sha('c') + " 3 x.dat\n";

class Proof : public testing::TestWithParam<ProofCase> {};

TEST_P(Proof, Judges)
{
    const ProofCase& row = GetParam();
    std::string text = "sorvane patch manifest 1\n" + row.manifest;
    static PatchManifest manifest;
    ASSERT_TRUE(parseManifest(text.data(), text.size(), &manifest)) << manifest.badLine;
    std::string script = std::string("K\n2\n1\n1\n") + row.entries;
    static UpdateScript parsed;
    parseUpdateScript(script.data(), script.size(), &parsed);
    InstalledFile found[MAX_OLD_FILES] = {};
    std::istringstream facts(row.found);
    int k = 0;
    for (std::string fact; facts >> fact; k++)
        if (fact != "-")
            found[k] = {true, std::stoull(fact.substr(1)), {}}, memset(found[k].sha256, std::stoi(fact.substr(0, 1), nullptr, 16) * 0x11, SHA256_BYTES);
    int differing = -1;
    EXPECT_EQ(proveInstallation(&manifest, &parsed, found, &differing), row.verdict);
    EXPECT_EQ(differing, row.differing);
}

// Digits stand for digests: "a1" is a file of 1 byte whose digest is aaaa..., "11" the patch's own digest 1111...
INSTANTIATE_TEST_SUITE_P(Installation, Proof, testing::Values(
    ProofCase{"OldVersion", A + OLD_A + ANCHOR, "a.dat", "a1 c3", PROOF_HOLDS, -1},
    ProofCase{"AlreadyTheNewFile", A + OLD_A + ANCHOR, "a.dat", "14 c3", PROOF_HOLDS, -1},
    ProofCase{"AnotherFile", A + OLD_A + ANCHOR, "a.dat", "b1 c3", PROOF_DIFFERS, 0},
    ProofCase{"SameDigestOtherSize", A + OLD_A + ANCHOR, "a.dat", "a2 c3", PROOF_DIFFERS, 0},
    ProofCase{"ReplacedFileMissing", A + OLD_A + ANCHOR, "a.dat", "- c3", PROOF_DIFFERS, 0},
    ProofCase{"AnchorDiffers", A + OLD_A + ANCHOR, "a.dat", "a1 d3", PROOF_DIFFERS, 1},
    ProofCase{"AnchorMissing", A + OLD_A + ANCHOR, "a.dat", "a1 -", PROOF_DIFFERS, 1},
    // An anchor is never "already new": the patch does not install it.
    ProofCase{"AnchorIsThePatchsFile", A + OLD_A + "old " + sha('c') + " 3 a2.dat\n", "a.dat", "a1 14", PROOF_DIFFERS, 1},
    // A cumulative patch: any of the versions it updates.
    ProofCase{"EitherOldVersion", A + OLD_A + "old " + sha('d') + " 2 a.dat\n" + ANCHOR, "a.dat", "d2 c3", PROOF_HOLDS, -1},
    // A file the patch adds is absent, or already the new one; anything else there is not this game's.
    ProofCase{"AddedFileAbsent", A + "old - a.dat\n" + ANCHOR, "a.dat", "- c3", PROOF_HOLDS, -1},
    ProofCase{"AddedFileAlreadyNew", A + "old - a.dat\n" + ANCHOR, "a.dat", "14 c3", PROOF_HOLDS, -1},
    ProofCase{"AddedFileSomethingElse", A + "old - a.dat\n" + ANCHOR, "a.dat", "b1 c3", PROOF_DIFFERS, 0},
    ProofCase{"AddedInALaterVersion", A + "old - a.dat\n" + OLD_A + ANCHOR, "a.dat", "a1 c3", PROOF_HOLDS, -1},
    // Paths compare as Windows compares them.
    ProofCase{"PathInAnotherCase", A + "old " + sha('a') + " 1 DATA\\A.DAT\n" + ANCHOR, "data\\a.dat", "a1 c3", PROOF_HOLDS, -1},
    // What proves nothing: an entry with no old line, or no file that must be there.
    ProofCase{"EntryNotListed", A + ANCHOR, "a.dat", "c3", PROOF_MISSING, -1},
    ProofCase{"NoOldLines", A, "a.dat", "", PROOF_MISSING, -1},
    ProofCase{"OnlyAddedFiles", A + "old - a.dat\n", "a.dat", "-", PROOF_MISSING, -1},
    // The run entry is listed beside its file; an entry with no file copies nothing.
    ProofCase{"RunEntryListedTwice", A + OLD_A, "a.dat\nRUN a.dat", "a1", PROOF_HOLDS, -1},
    ProofCase{"EntryWithoutAFile", A + OLD_A, "a.dat\n   ", "a1", PROOF_HOLDS, -1}),
    testing::PrintToStringParamName());

}  // namespace
