// Stand-in for the user-interface program. Writes its working folder and its
// arguments (argv[0] included), each followed by a NUL byte, to the file named
// by QEL_RECORD_FILE; written beside and renamed, so a reader never sees half.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

int main(int argc, char** argv) {
  const char* target = std::getenv("QEL_RECORD_FILE");
  if (target == nullptr) return 2;
  char cwd[8192];
  if (getcwd(cwd, sizeof cwd) == nullptr) return 2;
  std::string record = std::string(cwd) + '\0';
  for (int i = 0; i < argc; ++i) record += std::string(argv[i]) + '\0';
  std::string temp = std::string(target) + ".tmp";
  FILE* file = std::fopen(temp.c_str(), "wb");
  if (file == nullptr) return 2;
  bool ok = std::fwrite(record.data(), 1, record.size(), file) == record.size();
  ok = std::fclose(file) == 0 && ok;
  if (!ok || std::rename(temp.c_str(), target) != 0) return 2;
  return 0;
}
