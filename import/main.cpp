#include <iostream>
#include <string>
#include <vector>

#include "import/importer.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunImport(args, std::cout, std::cerr);
}
