// Fuzzes the settings-file reader of the program Vistello: any bytes parse, every read is
// answered, and a value written into any file reads back as written.
#include "../../app/shell/UProfileFile.cpp"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TProfileFile ini = TProfileFile::Parse(text);
  (void)ini.ReadInteger("options", "anpr_type", 0);
  (void)ini.ReadString("update_kivo", "password", "");

  // The first bytes, up to a NUL, also serve as a value to store.
  const std::string value(text.substr(0, text.find('\0')).substr(0, 64));
  ini.WriteString("options", "network_if", value);
  ini.WriteInteger("options", "anpr_type", 7);
  const TProfileFile reread = TProfileFile::Parse(ini.Text());
  std::string expected = value;
  for (char& c : expected)
    if (c == '\r' || c == '\n') c = ' ';
  if (reread.ReadString("options", "network_if", "?") != expected) std::abort();
  if (reread.ReadInteger("options", "anpr_type", 0) != 7) std::abort();
  return 0;
}
