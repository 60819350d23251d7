// A fresh records store, as the window leaves it after its first start: the version marker set
// and twelve empty records (the store's one-time message dropped).
#pragma once

#include <string>

#include "records/record_store.h"
#include "records/registry_key.h"

namespace oskelon::test {

inline void resetStore() {
    struct Silent : StoreMessages {
        void ShowMessage(const std::string&) override {}
    } messages;
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    CheckStoreVersion(key, messages);
}

}  // namespace oskelon::test
