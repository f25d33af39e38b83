#pragma once

// `fuse --deghost [STRENGTH]`: ghost removal, off unless given; alone, the default strength.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <string>
#include <vector>

// Adds --deghost; *strength starts at the parameter's default. Returns the option (counted
// when given).
CLI::Option* AddDeghostOption(CLI::App* command, int* strength);

// "--deghost S" joined into "--deghost=S" when S is a whole number, and a bare --deghost made
// "--deghost=<default>": the strength may follow as a value of its own while a file after a
// bare --deghost stays an input.
std::vector<std::string> JoinDeghostStrength(std::vector<std::string> args);

// One line per picture that ghost removal kept out somewhere, with the share of the picture.
void ReportGhosts(const std::vector<float>& rejected,
                  const std::vector<std::filesystem::path>& inputs);
