// Where a settings store made without arguments takes the maker's company and the
// product's registry name from. The product catalogue installs its queries here at
// start-up; until then the company is "Oru Software" and the product empty. Kept
// apart from the store itself so that platform-neutral code can install them.
#pragma once

#include <functional>
#include <string>

namespace oru {

using TTextProvider = std::function<std::string()>;

// An empty provider restores the built-in default of its value.
void SetSoftRegDefaults(TTextProvider company, TTextProvider product);
std::string SoftRegDefaultCompany();
std::string SoftRegDefaultProduct();

} // namespace oru
