// The definition files offered at start-up: the files of the definition directory whose names
// end in ".def", whatever the letter case of the extension.
#pragma once

#include <string>
#include <vector>

namespace tester {

// Names of the entries of `directory` (files, directories and hidden entries alike) that end in
// ".def", in the order the file system lists them; none when the directory cannot be read.
std::vector<std::string> DefinitionFileNames(const std::string& directory);

}  // namespace tester
