// Prints the device ID for the attributes text given as the first argument,
// with tenant ID 42 and an empty salt.
#include <quillmark/dictionary/Dictionary.h>
#include <quillmark/identity/DeviceIdGenerator.h>

#include <boost/uuid/uuid_io.hpp>
#include <iostream>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const quillmark::DeviceIdGenerator generator("42", "");
  std::cout << generator.GenerateDeviceId(DictionaryFromString(argv[1], ';'))
            << "\n";
}
