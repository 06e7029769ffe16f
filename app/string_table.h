// Texts of the program's string table (resources/strings.inc), looked up by id.
#pragma once

#include <string>

// The text of string `id`; "" when the table has no such string.
std::string LoadStringText(int id);
