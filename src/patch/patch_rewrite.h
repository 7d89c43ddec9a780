// Writes a patch that moves bytes (a diff that inserted or deleted some)
// as a new file: the old file's bytes, moved where the records say, with
// the records' bytes between them. The old file is only read; the caller
// puts the new one in its place when it is whole.
#pragma once

#include "patch/patch_apply.h"

namespace quarnel {

// Checks what the records expect of old_file, then writes the new file
// into new_file from its start. The outcome's restored is true: the old
// file is as it was whatever happened. The caller has called
// catch_ending_signals.
[[nodiscard]] PatchOutcome rewrite_patch(int records, int old_file, int new_file);

}  // namespace quarnel
