// Reading folders on Windows. Links are reparse points: symbolic links and
// junctions alike.
#include "platform/folders.h"

#include <cstring>

#include "platform/windows/handle.h"

namespace quarnel {
namespace {

struct Listing {
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW found{};
  bool pending = false;  // found holds an entry not yet read
};

std::array<Listing, most_open_listings> listings{};

FileKind kind_of_attributes(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? FileKind::link
         : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? FileKind::folder
                                                          : FileKind::regular;
}

FileIdentity identity_of(const BY_HANDLE_FILE_INFORMATION& information) {
  return {information.dwVolumeSerialNumber,
          std::uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow};
}

// Opens name itself, a folder too, without reading or writing it.
HANDLE open_name(const char* name, bool follow) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  return open_path(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                   flags);
}

}  // namespace

FileKind kind_of(const char* name, bool follow) {
  HANDLE file = open_name(name, follow);
  BY_HANDLE_FILE_INFORMATION information{};
  const bool known =
      file != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(file, &information) != 0;
  const DWORD type = known ? ::GetFileType(file) : FILE_TYPE_UNKNOWN;
  if (file != INVALID_HANDLE_VALUE) {
    ::CloseHandle(file);
  }
  return !known                   ? FileKind::missing
         : type != FILE_TYPE_DISK ? FileKind::other
                                  : kind_of_attributes(information.dwFileAttributes);
}

std::uint64_t regular_file_length(const char* name) {
  static WidePath wide;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!widen(name, wide) ||
      ::GetFileAttributesExW(wide.data(), GetFileExInfoStandard, &data) == 0 ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return 0;
  }
  return std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
}

char folder_separator() { return '\\'; }

int open_listing(const char* name, FileIdentity& identity) {
  std::size_t slot = 0;
  while (slot < listings.size() && listings[slot].find != INVALID_HANDLE_VALUE) {
    ++slot;
  }
  if (slot == listings.size()) {
    ::SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return -1;
  }
  HANDLE folder = open_name(name, true);
  BY_HANDLE_FILE_INFORMATION information{};
  if (folder == INVALID_HANDLE_VALUE) {
    return -1;
  }
  const bool known = ::GetFileInformationByHandle(folder, &information) != 0;
  ::CloseHandle(folder);
  if (!known) {
    return -1;
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::SetLastError(ERROR_DIRECTORY);
    return -1;
  }
  static WidePath pattern;
  if (!widen(name, pattern)) {
    ::SetLastError(ERROR_INVALID_NAME);
    return -1;
  }
  std::size_t size = std::wcslen(pattern.data());
  if (size + 3 > pattern.size()) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return -1;
  }
  if (size > 0 && pattern[size - 1] != L'\\' && pattern[size - 1] != L'/') {
    pattern[size++] = L'\\';
  }
  pattern[size++] = L'*';
  pattern[size] = L'\0';
  Listing& listing = listings[slot];
  listing.find = ::FindFirstFileExW(pattern.data(), FindExInfoBasic, &listing.found,
                                    FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (listing.find == INVALID_HANDLE_VALUE) {
    return -1;
  }
  listing.pending = true;
  identity = identity_of(information);
  return static_cast<int>(slot);
}

void close_listing(int listing) {
  Listing& open = listings[static_cast<std::size_t>(listing)];
  ::FindClose(open.find);
  open.find = INVALID_HANDLE_VALUE;
}

ListingRead read_listing(int listing, ListingEntry& entry) {
  Listing& open = listings[static_cast<std::size_t>(listing)];
  for (;;) {
    if (!open.pending && ::FindNextFileW(open.find, &open.found) == 0) {
      return ::GetLastError() == ERROR_NO_MORE_FILES ? ListingRead::end : ListingRead::error;
    }
    open.pending = false;
    const wchar_t* name = open.found.cFileName;
    if (std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0) {
      continue;
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, name, -1, entry.name.data(),
                                           static_cast<int>(entry.name.size()), nullptr, nullptr);
    if (size <= 0) {
      continue;
    }
    entry.size = static_cast<std::size_t>(size) - 1;
    entry.kind = kind_of_attributes(open.found.dwFileAttributes);
    return ListingRead::entry;
  }
}

FoundFile open_found_file(const char* name, bool follow) {
  FoundFile found;
  const DWORD flags = FILE_FLAG_SEQUENTIAL_SCAN | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE file =
      open_path(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                OPEN_EXISTING, flags);
  BY_HANDLE_FILE_INFORMATION information{};
  if (file == INVALID_HANDLE_VALUE || ::GetFileInformationByHandle(file, &information) == 0) {
    found.error = static_cast<int>(::GetLastError());
    if (file != INVALID_HANDLE_VALUE) {
      ::CloseHandle(file);
    }
    return found;
  }
  found.kind = ::GetFileType(file) != FILE_TYPE_DISK
                   ? FileKind::other
                   : kind_of_attributes(information.dwFileAttributes);
  found.identity = identity_of(information);
  found.other_names = information.nNumberOfLinks > 1;
  if (found.kind != FileKind::regular) {
    ::CloseHandle(file);
    return found;
  }
  found.handle = descriptor(file);
  if (found.handle < 0) {
    found.error = static_cast<int>(::GetLastError());
  }
  return found;
}

}  // namespace quarnel
