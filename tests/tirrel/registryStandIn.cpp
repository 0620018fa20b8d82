#include "registryStandIn.h"

#include <cstring>
#include <set>

namespace registryStandIn {
namespace {

// Status codes of the real calls that only the stand-in returns.
const LONG errorAccessDenied = 5;
const LONG errorInvalidHandle = 6;
const LONG errorInvalidParameter = 87;
const int idOk = 1;

Registry keys;
std::set<std::string> refusedKeys;
std::map<HKEY, std::string> openKeys;
std::uintptr_t nextHandle = 0x100;
DWORD_PTR broadcastResult = 0;
std::vector<Broadcast> broadcastLog;
std::vector<MessageBox> messageBoxLog;

Key* keyOf(HKEY handle)
{
    const auto open = openKeys.find(handle);
    return open == openKeys.end() ? nullptr : &keys[open->second];
}

}  // namespace

void reset()
{
    keys.clear();
    refusedKeys.clear();
    openKeys.clear();
    broadcastResult = 0;
    broadcastLog.clear();
    messageBoxLog.clear();
}

void addKey(const std::string& path)
{
    keys[path];
}

void setValue(const std::string& path, const std::string& name, DWORD type, const std::string& data)
{
    keys[path][name] = Value{type, data};
}

void refuseWrites(const std::string& path)
{
    refusedKeys.insert(path);
}

void setBroadcastResult(DWORD_PTR result)
{
    broadcastResult = result;
}

const Registry& registry()
{
    return keys;
}

const Value* findValue(const std::string& path, const std::string& name)
{
    const auto key = keys.find(path);
    if (key == keys.end())
        return nullptr;
    const auto value = key->second.find(name);
    return value == key->second.end() ? nullptr : &value->second;
}

int openKeyCount()
{
    return static_cast<int>(openKeys.size());
}

const std::vector<Broadcast>& broadcasts()
{
    return broadcastLog;
}

const std::vector<MessageBox>& messageBoxes()
{
    return messageBoxLog;
}

}  // namespace registryStandIn

using namespace registryStandIn;

extern "C" {

LONG WINAPI RegOpenKeyA(HKEY key, LPCSTR subKey, HKEY* result)
{
    *result = nullptr;
    if (key != HKEY_LOCAL_MACHINE)
        return errorInvalidHandle;
    if (keys.count(subKey) == 0)
        return ERROR_FILE_NOT_FOUND;
    *result = reinterpret_cast<HKEY>(nextHandle);
    nextHandle += 4;
    openKeys[*result] = subKey;
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* dataSize)
{
    const Key* open = keyOf(key);
    if (open == nullptr)
        return errorInvalidHandle;
    const auto value = open->find(valueName);
    if (value == open->end())
        return ERROR_FILE_NOT_FOUND;
    if (data != nullptr && dataSize == nullptr)
        return errorInvalidParameter;
    if (type != nullptr)
        *type = value->second.type;
    const std::string& bytes = value->second.data;
    if (data != nullptr) {
        // Windows promises nothing about the buffer beyond the returned
        // bytes; filling it exposes callers that count on zeros there.
        std::memset(data, 0xCC, *dataSize);
        if (*dataSize < bytes.size()) {
            *dataSize = static_cast<DWORD>(bytes.size());
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, bytes.data(), bytes.size());
    }
    if (dataSize != nullptr)
        *dataSize = static_cast<DWORD>(bytes.size());
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize)
{
    Key* open = keyOf(key);
    if (open == nullptr)
        return errorInvalidHandle;
    if (refusedKeys.count(openKeys[key]) != 0)
        return errorAccessDenied;
    (*open)[valueName] = Value{type, std::string(reinterpret_cast<const char*>(data), dataSize)};
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY key)
{
    return openKeys.erase(key) == 1 ? ERROR_SUCCESS : errorInvalidHandle;
}

LRESULT WINAPI SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                                   UINT timeout, PDWORD_PTR result)
{
    broadcastLog.push_back(Broadcast{window, message, wParam, reinterpret_cast<const char*>(lParam), flags,
                                     timeout, result != nullptr});
    if (result != nullptr)
        *result = broadcastResult;
    return 1;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    messageBoxLog.push_back(MessageBox{owner, text, caption, type});
    return idOk;
}

int WINAPI lstrlenA(LPCSTR text)
{
    return text == nullptr ? 0 : static_cast<int>(std::strlen(text));
}

}  // extern "C"
