#include "view/save_edits.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "diff/write_diff.h"
#include "io/dump_line.h"
#include "io/output_writer.h"
#include "patch/patch_session.h"
#include "patch/patch_writer.h"
#include "platform/terminal.h"
#include "view/terminal.h"

namespace quarnel {
namespace {

// The edited bytes, as a save reads them.
class EditedBytes final : public ByteSource {
 public:
  explicit EditedBytes(Document& document) : document_(document) {}
  [[nodiscard]] std::uint64_t length() const override { return document_.table.length; }
  [[nodiscard]] bool read(std::uint64_t offset, std::span<std::uint8_t> into) override {
    document_.error = 0;
    return read_document(document_, offset, into) == into.size() && document_.error == 0;
  }
  [[nodiscard]] int error() const override { return document_.error; }

 private:
  Document& document_;
};

void tell_pieces(ViewState& state, std::initializer_list<std::string_view> pieces) {
  std::array<char, 256> text{};
  std::size_t size = 0;
  for (const std::string_view piece : pieces) {
    const std::size_t take = std::min(piece.size(), text.size() - size);
    std::memcpy(text.data() + size, piece.data(), take);
    size += take;
  }
  tell(state, {text.data(), size});
}

void tell_failure(ViewState& state, const SessionResult& result) {
  const int error = result.error != 0 ? result.error : result.outcome.error;
  const std::string_view reason = error != 0 ? error_text(error) : std::string_view("failed");
  switch (result.failure) {
    case SessionFailure::replaced:
      tell(state, "not saved: another file was put under its name meanwhile");
      return;
    case SessionFailure::not_regular:
      tell(state, "not saved: only a regular file can change its length");
      return;
    case SessionFailure::patch:
      if (result.outcome.status == PatchStatus::guard_failed) {
        tell(state, "not saved: the file does not hold the bytes it held when it was opened");
        return;
      }
      tell_pieces(state, {"not saved, the file is as it was: ", reason});
      return;
    default:
      tell_pieces(state, {"not saved: ", result.name, result.name[0] != 0 ? ": " : "", reason});
      return;
  }
}

// Records that write the edited bytes [at, at + size) in place, each after
// the file's bytes there before, which it must still hold.
bool put_range(Document& document, PatchWriter& writer, std::uint64_t at, std::uint64_t size) {
  static std::array<std::uint8_t, longest_record> block;
  static std::array<std::uint8_t, longest_record> old;
  for (std::uint64_t done = 0; done < size;) {
    const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - done));
    document.error = 0;
    if (read_document(document, at + done, std::span(block).first(part)) != part ||
        document.error != 0) {
      return false;
    }
    const std::size_t old_size = read_original(document, at + done, std::span(old).first(part));
    const PatchRecord expect{at + done, old_size, RecordKind::expect};
    if (document.error != 0 ||
        (old_size > 0 && !patch_record(writer, expect, std::span(old).first(old_size))) ||
        !patch_bytes(writer, at + done, std::span(block).first(part))) {
      return false;
    }
    done += part;
  }
  return true;
}

// Where the edited bytes first stop being the file's own at their own
// places: what a save in place writes from when the length changes.
std::uint64_t first_moved(const PieceTable& table) {
  for (const Piece& piece : table.pieces) {
    if (piece.source != PieceSource::file || piece.start != piece.at) {
      return piece.at;
    }
  }
  return table.length;
}

// The records of a save in place: with the same length, every piece that
// does not stand where it stood in the file; with another, all from the
// first such piece to the end, and the new length.
bool write_records(Document& document, PatchWriter& writer) {
  const PieceTable& table = document.table;
  if (table.length == table.file_length) {
    for (const Piece& piece : table.pieces) {
      if ((piece.source != PieceSource::file || piece.start != piece.at) &&
          !put_range(document, writer, piece.at, piece.length)) {
        return false;
      }
    }
    return flush_patch(writer);
  }
  const std::uint64_t from = first_moved(table);
  return patch_record(writer, {table.file_length, 0, RecordKind::expect_length}, {}) &&
         put_range(document, writer, from, table.length - from) &&
         patch_record(writer, {table.length, 0, RecordKind::set_length}, {}) && flush_patch(writer);
}

SessionResult save_in_place(Document& document) {
  const int records = create_spool_file();
  if (records < 0) {
    return {.failure = SessionFailure::spool_create, .error = last_error()};
  }
  static PatchWriter writer(-1);
  writer = PatchWriter(records);
  if (!write_records(document, writer)) {
    const int error = writer.error != 0 ? writer.error : document.error;
    close_handle(records);
    return {.failure = SessionFailure::spool_create, .error = error};
  }
  const SessionResult result = patch_from_records(document.name, records, false, true);
  close_handle(records);
  return result;
}

// Writes the edited bytes to a temporary file, for the diff to read as it
// reads any file. Returns it, or -1 with error set.
int spool_edits(Document& document, int& error) {
  const int edited = create_spool_file();
  if (edited < 0) {
    error = last_error();
    return -1;
  }
  static std::array<std::uint8_t, std::size_t{1} << 20> block;
  EditedBytes bytes(document);
  for (std::uint64_t done = 0; done < bytes.length();) {
    const auto size =
        static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), bytes.length() - done));
    const std::string_view piece(reinterpret_cast<const char*>(block.data()), size);
    if (!bytes.read(done, std::span(block).first(size))) {
      error = bytes.error();
    } else if (!write_all(edited, std::span(&piece, 1))) {
      error = last_error();
    } else {
      done += size;
      continue;
    }
    close_handle(edited);
    return -1;
  }
  return edited;
}

// Writes the edits as quarnel-diff writes a diff, of the file as it was
// opened and as the edits make it, into the file name; a failure leaves
// that file as it was.
SessionResult write_edits_diff(Document& document, const char* name) {
  int error = 0;
  const int edited = spool_edits(document, error);
  if (edited < 0) {
    return {.failure = SessionFailure::spool_create, .error = error};
  }
  static OutputFile out;
  out = OutputFile{};
  if (!open_output_file(name, out)) {
    close_handle(edited);
    return {.failure = SessionFailure::file,
            .problem = out.problem,
            .name = out.problem == FileProblem::cannot_create ? out.folder_name.data() : name,
            .error = out.error};
  }
  std::array<char, 64> old_time{};
  const std::string_view told = modification_time(document.handle);
  std::memcpy(old_time.data(), told.data(), std::min(told.size(), old_time.size() - 1));
  static OutputWriter writer{-1};
  writer.fd = out.handle;
  writer.used = 0;
  writer.failed = false;
  const DiffOutcome outcome =
      write_dump_diff({document.handle, document.table.file_length, document.name, old_time.data()},
                      {edited, document.table.length, document.name, modification_time(edited)},
                      DiffSettings{}, writer);
  close_handle(edited);
  if (outcome.result == DiffResult::read_error || !flush_output(writer) || writer.failed) {
    discard_output_file(out);
    return {.failure = SessionFailure::write,
            .error = outcome.result == DiffResult::read_error ? outcome.error : writer.error};
  }
  if (!commit_output_file(out)) {
    return {
        .failure = SessionFailure::file, .problem = out.problem, .name = name, .error = out.error};
  }
  return {};
}

// Opens the saved file again, its bytes now as the edits made them.
void reopen(Document& document, SaveState& saved) {
  const int handle = open_input(document.name);
  if (handle >= 0) {
    close_handle(document.handle);
    const std::int64_t length = file_length(handle);
    open_document(document, handle, length > 0 ? static_cast<std::uint64_t>(length) : 0);
  } else {
    forget_pages(document);
  }
  note_file(saved, document);
}

}  // namespace

void note_file(SaveState& saved, const Document& document) {
  const std::string_view modified = modification_time(document.handle);
  saved.modified.fill(0);
  std::memcpy(saved.modified.data(), modified.data(),
              std::min(modified.size(), saved.modified.size() - 1));
  saved.known = identify_file(document.handle, saved.identity);
  saved.overwrite = false;
}

SaveAnswer save_edits(ViewState& state, Document& document, SaveState& saved, ViewRequest request) {
  const bool quit_after = request == ViewRequest::save_quit;
  if (request == ViewRequest::save_as || request == ViewRequest::save_diff) {
    static std::array<char, 4096> name{};
    const std::size_t size = std::min(state.save_name.size(), name.size() - 1);
    std::memcpy(name.data(), state.save_name.data(), size);
    name[size] = 0;
    catch_ending_signals();
    EditedBytes bytes(document);
    const SessionResult result = request == ViewRequest::save_as
                                     ? write_anew(name.data(), bytes, nullptr)
                                     : write_edits_diff(document, name.data());
    restore_terminal_on_signals(stop_terminal);
    if (result.failure != SessionFailure::none) {
      tell_failure(state, result);
    } else {
      tell_pieces(state, {"written: ", {name.data(), size}});
    }
    return SaveAnswer::stay;
  }
  if (is_unchanged(document.table)) {
    tell(state, "no changes to save");
    return quit_after ? SaveAnswer::quit : SaveAnswer::stay;
  }
  if (document.read_only) {
    tell(state, "read-only: :w NAME writes the bytes to another file");
    return SaveAnswer::stay;
  }
  if (document.table.length != document.table.file_length && !is_regular_file(document.handle)) {
    tell(state, "a device keeps its length: delete as many bytes as are inserted");
    return SaveAnswer::stay;
  }
  const std::string_view now = modification_time(document.handle);
  const std::string_view then(saved.modified.data());
  if (now != then && !saved.overwrite) {
    saved.overwrite = true;
    tell(state, "the file changed since it was opened: :w again saves over it");
    return SaveAnswer::stay;
  }
  catch_ending_signals();
  SessionResult result;
  // A new length is written in place from the first byte that moved when
  // that costs less than the whole file written anew (the journal keeps
  // the old bytes, so the tail is written twice).
  const PieceTable& table = document.table;
  const std::uint64_t tail = table.length - std::min(first_moved(table), table.length);
  if (table.length == table.file_length || 2 * tail < table.file_length) {
    result = save_in_place(document);
  } else {
    EditedBytes bytes(document);
    result = write_anew(document.name, bytes, saved.known ? &saved.identity : nullptr);
  }
  restore_terminal_on_signals(stop_terminal);
  if (result.failure != SessionFailure::none) {
    tell_failure(state, result);
  } else {
    reopen(document, saved);
    tell(state, "saved");
  }
  // A signal that came during the save ends the program once the file is
  // whole, saved or as it was.
  if (ending_signal() != 0) {
    return SaveAnswer::quit;
  }
  return quit_after && result.failure == SessionFailure::none ? SaveAnswer::quit : SaveAnswer::stay;
}

}  // namespace quarnel
