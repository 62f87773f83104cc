#pragma once
// What Windows Installer reports about a target product.
#include <string>

// True when the product is installed in the default (5) or advertised (1) state.
bool IsProductInstalled(const std::wstring& productCode);

// The product's "VersionString"; empty when the query fails.
std::wstring GetInstalledVersionString(const std::wstring& productCode);

// The product's "ProductName" and "Language"; each empty when its query fails.
void GetProductNameAndLanguage(const std::wstring& productCode, std::wstring& productName, std::wstring& language);
