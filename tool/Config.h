// The run configuration of the quillmark tool, filled from the command line.
#ifndef QUILLMARK_TOOL_CONFIG_H_
#define QUILLMARK_TOOL_CONFIG_H_

#include <cstdint>
#include <filesystem>
#include <string>

struct Config {
  std::filesystem::path input;
  std::filesystem::path output = "Devices.ini";
  std::uint16_t pp = 0;
  std::string tenant_id;
  std::string salt;
};

#endif  // QUILLMARK_TOOL_CONFIG_H_
