#ifndef TESTS_TIRREL_REGISTRY_STAND_IN_H
#define TESTS_TIRREL_REGISTRY_STAND_IN_H

// Native stand-in for the Windows calls tirrel makes: a registry kept in
// memory under HKEY_LOCAL_MACHINE, a recorded broadcast whose message result
// the test chooses, and recorded message boxes. Key paths are given relative
// to HKEY_LOCAL_MACHINE and, unlike on Windows, compared case-sensitively so
// that tests pin the exact names. The registry is the one a 32-bit process
// sees on 64-bit Windows: SOFTWARE's 32-bit view is SOFTWARE\WOW6432Node and
// its 64-bit view (KEY_WOW64_64KEY) SOFTWARE itself; SYSTEM is shared. The
// wide calls take ASCII key and value names, kept here as narrow strings,
// and data as bytes.

#include "windowsApi.h"

#include <map>
#include <string>
#include <vector>

namespace registryStandIn {

struct Value {
    DWORD type;
    std::string data;  // the exact bytes stored, terminator included if any

    bool operator==(const Value& other) const { return type == other.type && data == other.data; }
};

using Key = std::map<std::string, Value>;
using Registry = std::map<std::string, Key>;

struct Broadcast {
    HWND window;
    UINT message;
    WPARAM wParam;
    std::string lParamText;  // the text that lParam points to
    UINT flags;
    UINT timeout;
    bool resultRequested;
};

struct MessageBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

// Empties the registry, forgets open handles, records and refused keys, and
// sets the broadcast's message result back to 0.
void reset();

void addKey(const std::string& path);
// Creates the key if needed; data is stored byte for byte.
void setValue(const std::string& path, const std::string& name, DWORD type, const std::string& data);
// Opening this key for writing fails with ERROR_ACCESS_DENIED, as for a user
// without rights to the local-machine hive.
void refuseWrites(const std::string& path);
void setBroadcastResult(DWORD_PTR result);

const Registry& registry();
const Value* findValue(const std::string& path, const std::string& name);
int openKeyCount();
const std::vector<Broadcast>& broadcasts();
const std::vector<MessageBox>& messageBoxes();

}  // namespace registryStandIn

#endif
