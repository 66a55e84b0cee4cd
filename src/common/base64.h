// Base64 with the standard alphabet and padding, the form in which keys and signatures
// travel as text.
#pragma once

#include <string>
#include <vector>

namespace tallybell {

std::string Base64编码(const std::vector<unsigned char>& 数据);

// Strict: the length is a multiple of 4, only the standard alphabet, '=' only as the one
// or two last characters, and the unused bits of the last character are zero, so every
// byte string has exactly one accepted text. False (and *输出 cleared) otherwise.
bool Base64解码(const std::string& 文本, std::vector<unsigned char>* 输出);

}  // namespace tallybell
