#include <quarnel/dump.h>

#include <cstdio>
#include <string_view>

int main() {
  std::fputs(quarnel::dump_string(std::string_view("host")).c_str(), stdout);
  return 0;
}
