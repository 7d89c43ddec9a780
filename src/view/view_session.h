// A viewing session: the terminal taken over, the screen drawn, keys read
// and done until the user quits, the terminal given back.
#pragma once

#include "view/document.h"

namespace quarnel {

struct ViewSettings {
  int key_input = -1;  // the terminal the keys come from
  bool colors = true;  // colours, where the terminal has them
};

enum class SessionEnd { quit, no_terminal };

// Shows the document until the user quits.
[[nodiscard]] SessionEnd view_document(Document& document, const ViewSettings& settings);

// Shows two documents side by side, aligned, until the user quits.
[[nodiscard]] SessionEnd compare_documents(Document& old_file, Document& new_file,
                                           const ViewSettings& settings);

}  // namespace quarnel
