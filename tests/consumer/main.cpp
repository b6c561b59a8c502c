// Built against an installed veldra: the header and the library must be
// usable through find_package alone.
#include "veldra.hpp"

#include <iostream>

int main() {
  const std::string text = VELDRA::fixedint(5, -42).asstring();
  if (text != "-42") {
    std::cerr << "expected -42, got \"" << text << "\"\n";
    return 1;
  }
  return 0;
}
