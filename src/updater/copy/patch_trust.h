#pragma once
#include "format/patch_manifest.h"

// Whether the patch folder holds what its vendor shipped, judged before any
// installed file changes. A keyed updater.exe takes only a patch whose
// manifest its key signed; any updater refuses a patch whose files differ from
// their manifest. The patch files' contents are compared as they are staged
// (copy_entry.h); here their names and sizes.

// True when the patch may be copied; otherwise the player has been told, in
// either mode, which file is damaged or that the patch is not the publisher's.
bool patchIsTrusted();

// The manifest's line for an entry's flat file; null when the patch has no manifest.
const ManifestFile* listedFile(int entry);

// The manifest patchIsTrusted verified; null when the patch has none.
const PatchManifest* verifiedManifest();

// Tells the player that a file of the patch is damaged and nothing was installed.
void tellDamaged(const char* name);
