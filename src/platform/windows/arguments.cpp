// The arguments on Windows, where the program, not the shell, splits the
// command line and expands wildcards. Read from the UTF-16 command line, so
// that names outside ASCII come through whatever the code page.
#include <algorithm>
#include <string_view>

#include "platform/platform.h"
#include "platform/windows/handle.h"

namespace quarnel {
namespace {

// Room for the arguments once expanded; past it, patterns stay unexpanded.
std::array<char, std::size_t{1} << 20> text;
std::array<const char*, std::size_t{1} << 16> pointers;

struct Arguments {
  std::size_t used = 0;  // of text
  std::size_t count = 0;

  // Adds an argument, UTF-16 to UTF-8; false when there is no room.
  bool add(std::wstring_view wide) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    if (count == pointers.size() || text.size() - used <= static_cast<std::size_t>(size)) {
      return false;
    }
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                          text.data() + used, size, nullptr, nullptr);
    pointers[count++] = text.data() + used;
    used += static_cast<std::size_t>(size);
    text[used++] = '\0';
    return true;
  }
};

// Adds the names that match pattern, folder and all, or the pattern itself
// when none does.
void add_matches(Arguments& arguments, std::wstring_view pattern) {
  static WidePath path;
  static WidePath name;
  const std::size_t folder = pattern.find_last_of(L"\\/:") + 1;  // 0 when there is none
  pattern.copy(path.data(), std::min(pattern.size(), path.size() - 1));
  path[std::min(pattern.size(), path.size() - 1)] = L'\0';
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW(path.data(), &found);
  bool matched = false;
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &found)) {
    const std::wstring_view file = found.cFileName;
    if (file == L"." || file == L".." || folder + file.size() >= name.size()) {
      continue;
    }
    pattern.copy(name.data(), folder);
    file.copy(name.data() + folder, file.size());
    matched = arguments.add({name.data(), folder + file.size()}) || matched;
  }
  if (search != INVALID_HANDLE_VALUE) {
    ::FindClose(search);
  }
  if (!matched) {
    arguments.add(pattern);
  }
}

}  // namespace

std::span<const char* const> program_arguments(int argc, const char* const argv[]) {
  Arguments arguments;
  static WidePath word;
  const wchar_t* line = ::GetCommandLineW();
  // The program's name follows rules of its own: keep the C runtime's.
  pointers[arguments.count++] = argc > 0 ? argv[0] : "";
  // Skip the program's name: quoted, or up to the first blank.
  bool quoted = false;
  for (; *line != L'\0' && (quoted || (*line != L' ' && *line != L'\t')); ++line) {
    quoted = *line == L'"' ? !quoted : quoted;
  }
  for (;;) {
    while (*line == L' ' || *line == L'\t') {
      ++line;
    }
    if (*line == L'\0') {
      break;
    }
    // Backslashes are themselves unless a quote follows: then each pair is
    // one, and an odd one makes the quote itself.
    std::size_t size = 0;
    const auto put = [&](wchar_t c, std::size_t times) {
      for (; times > 0 && size < word.size(); --times) {
        word[size++] = c;
      }
    };
    bool has_quotes = false;
    bool in_quotes = false;
    for (; *line != L'\0' && (in_quotes || (*line != L' ' && *line != L'\t')); ++line) {
      std::size_t slashes = 0;
      while (line[slashes] == L'\\') {
        ++slashes;
      }
      if (line[slashes] == L'"') {
        put(L'\\', slashes / 2);
        line += slashes;
        if (slashes % 2 == 1) {
          put(L'"', 1);
        } else if (in_quotes && line[1] == L'"') {
          put(L'"', 1);  // "" inside quotes is a quote
          ++line;
        } else {
          in_quotes = !in_quotes;
          has_quotes = true;
        }
      } else if (slashes > 0) {
        put(L'\\', slashes);
        line += slashes - 1;
      } else {
        put(*line, 1);
      }
    }
    const std::wstring_view arg(word.data(), size);
    if (!has_quotes && arg.find_first_of(L"*?") != std::wstring_view::npos) {
      add_matches(arguments, arg);
    } else {
      arguments.add(arg);
    }
  }
  return {pointers.data(), arguments.count};
}

}  // namespace quarnel
