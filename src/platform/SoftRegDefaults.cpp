#include "platform/SoftRegDefaults.h"

namespace oru {

namespace {
struct Providers {
    TTextProvider company;
    TTextProvider product;
};
Providers& Installed() {
    static Providers providers;
    return providers;
}
} // namespace

void SetSoftRegDefaults(TTextProvider company, TTextProvider product) {
    Installed().company = std::move(company);
    Installed().product = std::move(product);
}

std::string SoftRegDefaultCompany() {
    return Installed().company ? Installed().company() : std::string("Oru Software");
}

std::string SoftRegDefaultProduct() {
    return Installed().product ? Installed().product() : std::string();
}

} // namespace oru
