// The program's texts as the window system shows them. Texts are UTF-8, except the Russian help
// lines, which are held in code page 1251 after their conversion from code page 866; a text that
// is not valid UTF-8 is therefore read as code page 1251.
#pragma once
#include <string>

class QString;

QString DisplayText(const std::string& text);
// The Unicode code point of a code page 1251 byte.
char32_t Cp1251ToUnicode(unsigned char c);
