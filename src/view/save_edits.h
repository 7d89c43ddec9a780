// Saves as the other programs patch: an edit that keeps the length writes
// the changed bytes in place under the rollback journal; one that changes
// it writes the file anew beside the old one and puts it in its place.
// Either way a crash, a full disk or a signal leaves the old file or the
// new, and a file another program changed since it was opened is not
// saved over without a second :w.
#pragma once

#include <array>
#include <string_view>

#include "platform/platform.h"
#include "view/document.h"
#include "view/view.h"

namespace quarnel {

struct SaveState {
  std::array<char, 64> modified{};  // the file's modification time when it was last read or saved
  FileIdentity identity{};
  bool known = false;      // identity and modified were taken
  bool overwrite = false;  // the user saves over another program's change
};

// Notes the file's modification time and identity, as the document now
// shows them.
void note_file(SaveState& saved, const Document& document);

enum class SaveAnswer { stay, quit };

// Does what request (a save, a save under another name, a save and quit)
// asks; tells the user how it went.
[[nodiscard]] SaveAnswer save_edits(ViewState& state, Document& document, SaveState& saved,
                                    ViewRequest request);

}  // namespace quarnel
