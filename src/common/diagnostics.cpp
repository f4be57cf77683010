#include "common/diagnostics.h"

#include <iostream>
#include <ostream>

namespace tsumugi {

void Complain(std::ostream& out, std::string_view message) {
  out << "tsumugi: " << message << '\n';
}

void Complain(std::string_view message) {
  Complain(std::cerr, message);
}

}  // namespace tsumugi
