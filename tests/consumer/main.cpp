// Built against an installed veldra: the header and the library must be
// usable through find_package alone.
#include "veldra.hpp"
#ifdef VELDRA_CONSUMER_FMT
#include "veldra_fmt.hpp" // and fmt, where it is there to link
#endif

#include <iostream>

int main() {
  const std::string text = VELDRA::fixedint(5, -42).asstring();
  if (text != "-42") {
    std::cerr << "expected -42, got \"" << text << "\"\n";
    return 1;
  }
#ifdef VELDRA_CONSUMER_FMT
  const std::string price =
      fmt::format("{:.2f}", VELDRA::fixedfloat(8, "21.4892"));
  if (price != "21.49") {
    std::cerr << "expected 21.49, got \"" << price << "\"\n";
    return 1;
  }
#endif
  return 0;
}
