// Writes a C++ source file holding the given plain text files as coded texts.
//   encode_texts OUTPUT.cc NAME=FILE ...
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/text_encoder.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: encode_texts OUTPUT.cc NAME=FILE ...\n");
    return 2;
  }
  std::ostringstream src;
  src << "// Generated at build time from the files under texts/; do not edit.\n"
         "#include <cstring>\n\n#include \"core/coded_text.h\"\n\nnamespace {\n";
  std::ostringstream table;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    std::size_t eq = arg.find('=');
    if (eq == std::string::npos) {
      std::fprintf(stderr, "encode_texts: expected NAME=FILE, got %s\n", argv[i]);
      return 2;
    }
    std::string name = arg.substr(0, eq), path = arg.substr(eq + 1);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "encode_texts: cannot read %s\n", path.c_str());
      return 1;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.find('\0') != std::string::npos) {
      std::fprintf(stderr, "encode_texts: %s holds a NUL byte\n", path.c_str());
      return 1;
    }
    std::vector<unsigned char> coded = encode_text(text);
    src << "const unsigned char coded_" << i << "[] = {";
    for (std::size_t j = 0; j < coded.size(); ++j) {
      src << (j % 16 == 0 ? "\n    " : " ") << static_cast<int>(coded[j]) << ",";
    }
    src << "\n};\n";
    table << "    {\"" << name << "\", coded_" << i << ", sizeof coded_" << i << "},\n";
  }
  src << "\nconst CodedText texts[] = {\n"
      << table.str() << "};\n\n}  // namespace\n\n"
      << "const CodedText* find_coded_text(const char* name) {\n"
         "  for (const CodedText& t : texts) {\n"
         "    if (std::strcmp(t.name, name) == 0) return &t;\n"
         "  }\n"
         "  return nullptr;\n"
         "}\n";
  std::ofstream out(argv[1], std::ios::binary);
  out << src.str();
  return out ? 0 : 1;
}
