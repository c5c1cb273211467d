// What every data tool shares on its command line and in its messages.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// True when the arguments ask for the usage (--help or -h anywhere): the tool
// then prints it on standard output and exits 0. A wrong call prints it on
// standard error and exits 2.
bool ToolHelpAsked(int argc, char** argv);

// Text from an input made fit for a message: bytes outside printable ASCII
// written as escapes (\t, \xNN), cut (with "...") once about `max`
// characters are written. Quoted lines in it (QuoteLine) pass unchanged.
std::string Printable(std::string_view text, size_t max = 200);

// A line of a text input as a message quotes it: in double quotes, cut (then
// "...") once about `max` characters are written, with quotes, backslashes
// and bytes outside printable ASCII written as escapes (\", \\, \t, \xNN),
// so that a binary file's bytes never reach the terminal raw.
std::string QuoteLine(std::string_view line, size_t max = 60);
