// Reads version texts, one per line, and prints the four parts that the installer
// reads from each. The package checks' tests compare their own reading with it.
#include <iostream>
#include <string>

#include "products/four_part_version.h"

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::wstring text;
        for (char c : line) text += static_cast<wchar_t>(static_cast<unsigned char>(c));
        FourPartVersion v;
        v.parse(text);
        std::cout << v.major << '.' << v.minor << '.' << v.build << '.' << v.revision << '\n';
    }
    return 0;
}
