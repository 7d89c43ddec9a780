// Shows a file that the build turned into a C++ array (quarnel_embed in
// CMakeLists.txt): its bytes as they are, and as a dump.
#include <quarnel/dump.h>

#include <cstdio>
#include <string>

#include "greeting.h"

int main() {
  const std::string text(greeting.begin(), greeting.end());
  std::fputs(text.c_str(), stdout);
  std::fputs(quarnel::dump_string(greeting).c_str(), stdout);
}
