#include "quarnel/version.h"

namespace quarnel {
inline namespace v1 {

std::string_view version() noexcept { return QUARNEL_VERSION_STRING; }

}  // namespace v1
}  // namespace quarnel
