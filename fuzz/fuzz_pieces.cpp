// Plays the fuzz input as edits of a file (inserts, deletes, overwrites,
// undos and redos, each taking its place and size from the input) on the
// viewer's piece table and on a plain string, and checks after each that
// both hold the same bytes, read whole and from every place.
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "view/document.h"
#include "view/piece_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quarnel;
  std::size_t next = 0;
  const auto take = [&]() -> std::uint8_t { return next < size ? bytes[next++] : 0; };
  const std::string original(static_cast<std::size_t>(take()) * 3, 'o');
  static Document document;
  const int file = testing::memory_file(original);
  open_document(document, file, original.size());
  std::string model = original;
  std::vector<std::string> done;
  std::vector<std::string> undone;
  while (next < size) {
    const std::uint8_t what = take() % 5;
    const std::size_t at = model.empty() ? 0 : take() % (model.size() + 1);
    const std::string text(take() % 9 + 1, static_cast<char>('a' + next % 26));
    const std::span<const std::uint8_t> added(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    const std::string before = model;
    const std::size_t changes = document.table.done.size();
    std::uint64_t cursor = 0;
    if (what == 0) {
      insert_bytes(document.table, at, added);
      model.insert(at, text);
    } else if (what == 1) {
      const std::size_t count = take() % 17;
      erase_bytes(document.table, at, count);
      model.erase(at, count);
    } else if (what == 2) {
      overwrite_bytes(document.table, at, added);
      model.replace(at, text.size(), text);
    } else if (what == 3) {
      if (undo_change(document.table, cursor) != !done.empty()) {
        std::abort();
      }
      if (!done.empty()) {
        undone.push_back(model);
        model = done.back();
        done.pop_back();
      }
    } else {
      if (redo_change(document.table, cursor) != !undone.empty()) {
        std::abort();
      }
      if (!undone.empty()) {
        done.push_back(model);
        model = undone.back();
        undone.pop_back();
      }
    }
    // An edit is a change to undo when it touched bytes, even the same
    // bytes written again; one that changed bytes always is.
    if (what < 3 && document.table.done.size() > changes) {
      done.push_back(before);
      undone.clear();
    } else if (what < 3 && model != before) {
      std::abort();
    }
    if (document.table.length != model.size()) {
      std::abort();
    }
    for (std::size_t from = 0; from <= model.size(); ++from) {
      std::string got(model.size() - from, '\0');
      const std::size_t count = read_document(
          document, from, std::span(reinterpret_cast<std::uint8_t*>(got.data()), got.size()));
      if (count != got.size() || got != model.substr(from)) {
        std::abort();
      }
    }
  }
  close_handle(file);
  return 0;
}
