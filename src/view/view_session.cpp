#include "view/view_session.h"

#include <new>

#include "view/compare.h"
#include "view/save_edits.h"
#include "view/screen.h"
#include "view/terminal.h"
#include "view/view.h"

namespace quarnel {
namespace {

// How much a search looks at, and how much arriving input is taken,
// between two looks at the keys.
constexpr std::uint64_t search_stretch = std::uint64_t{64} << 20;
constexpr std::size_t incoming_stretch = std::size_t{4} << 20;
// A wait for a key ends now and then: curses learns of a new window size
// from a signal, which can come just before it starts waiting and then
// wakes it no more.
constexpr int idle_wait = 250;

void redraw(ViewState& state, Document& document, Picture& picture, Screen& screen) {
  terminal_size(state.rows, state.columns);
  settle_view(state, document);
  draw_screen(state, document, picture, screen);
  show_screen(screen);
}

}  // namespace

SessionEnd view_document(Document& document, const ViewSettings& settings) {
  static ViewState state;
  static Picture picture;
  static Screen screen;
  if (!start_terminal(settings.key_input, settings.colors)) {
    return SessionEnd::no_terminal;
  }
  state.color = terminal_has_colors();
  static SaveState saved;
  note_file(saved, document);
  redraw(state, document, picture, screen);
  for (;;) {
    int key = key_none;
    if (state.search.running) {
      // A stretch is searched before the keys are looked at, so that keys
      // typed ahead do not stop a search that a stretch finishes.
      continue_search(state, document, search_stretch);
      redraw(state, document, picture, screen);
      key = state.search.running ? read_key(0) : key_none;
      if (key == key_none) {
        continue;
      }
    } else if (document.incoming >= 0) {
      const std::uint64_t before = document.table.length;
      const bool more = take_incoming(document, incoming_stretch);
      if (document.table.length != before || !more) {
        picture.valid = false;
        redraw(state, document, picture, screen);
      }
      key = read_key(document.incoming >= 0 ? 50 : 0);
      if (key == key_none) {
        continue;
      }
    } else {
      key = read_key(idle_wait);
      if (key == key_none) {
        continue;
      }
    }
    const ViewRequest request = press_key(state, document, key);
    if (request == ViewRequest::quit) {
      break;
    }
    if (request == ViewRequest::suspend) {
      suspend_terminal();
    } else if (request != ViewRequest::none) {
      const SaveAnswer answer = save_edits(state, document, saved, request);
      picture.valid = false;
      if (answer == SaveAnswer::quit) {
        break;
      }
    }
    redraw(state, document, picture, screen);
  }
  stop_terminal();
  return SessionEnd::quit;
}

SessionEnd compare_documents(Document& old_file, Document& new_file, const ViewSettings& settings) {
  // The aligner's thread may still be reading when the program ends: what
  // it writes into is never destroyed.
  alignas(Comparison) static unsigned char room[sizeof(Comparison)];
  Comparison& comparison = *new (room) Comparison;
  static Screen screen;
  if (!start_terminal(settings.key_input, settings.colors)) {
    return SessionEnd::no_terminal;
  }
  start_comparison(comparison, old_file, new_file);
  for (;;) {
    // While the alignment runs, the screen follows it: what was done is
    // read before the drawing, so that an end that comes after it is drawn.
    const bool aligned = comparison.done;
    terminal_size(comparison.rows, comparison.columns);
    draw_comparison(comparison, screen);
    show_screen(screen);
    const int key = read_key(aligned ? idle_wait : 100);
    if (key == control_key('Z')) {
      suspend_terminal();
    } else if (key != key_none && !press_compare_key(comparison, key)) {
      break;
    }
  }
  stop_terminal();
  leave_comparison(comparison);
  return SessionEnd::quit;
}

}  // namespace quarnel
