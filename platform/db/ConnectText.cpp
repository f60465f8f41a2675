#include "platform/db/ConnectText.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"

namespace db {

std::string passwordFromConnect(const std::string& connect) {
    std::string rest;
    bool known = false;
    for (const std::string type : {"MS Access", "Access"}) {
        if (connect.size() >= type.size() && equalsNoCase(connect.substr(0, type.size()), type)) {
            rest = connect.substr(type.size());
            known = true;
            break;
        }
    }
    if (connect.empty() || (known && (rest.empty() || rest == ";")))
        return {};
    if (known && rest.size() >= 5 && equalsNoCase(rest.substr(0, 5), ";PWD=")) {
        std::string password = rest.substr(5);
        if (!password.empty() && password.back() == ';')
            password.pop_back();
        return password;
    }
    throw DbError("The connect text \"" + connect +
                  "\" cannot be read: it should read \"MS Access;PWD=<password>;\".");
}

} // namespace db
