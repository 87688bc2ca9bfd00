#include <string>
#include <vector>

#include "pclauncher.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return qel::launcher::RunLauncher(args);
}
