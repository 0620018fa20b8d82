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

struct OpenKey {
    std::string path;
    REGSAM access;
};

Registry keys;
std::set<std::string> refusedKeys;
std::map<HKEY, OpenKey> openKeys;
std::uintptr_t nextHandle = 0x100;
DWORD_PTR broadcastResult = 0;
std::vector<Broadcast> broadcastLog;
std::vector<MessageBox> messageBoxLog;

// The key behind a handle that was opened with the access a call needs.
LONG findOpenKey(HKEY handle, REGSAM needed, Key** key)
{
    const auto open = openKeys.find(handle);
    if (open == openKeys.end())
        return errorInvalidHandle;
    if ((open->second.access & needed) != needed)
        return errorAccessDenied;
    *key = &keys[open->second.path];
    return ERROR_SUCCESS;
}

std::string narrow(LPCWSTR name)
{
    std::string text;
    for (; *name != L'\0'; ++name)
        text += *name < 0x80 ? static_cast<char>(*name) : '?';
    return text;
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

LONG WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, HKEY* result)
{
    *result = nullptr;
    if (key != HKEY_LOCAL_MACHINE)
        return errorInvalidHandle;
    if (options != 0)
        return errorInvalidParameter;
    // A 32-bit process sees SOFTWARE's 32-bit view unless it asks for the
    // 64-bit one.
    std::string path = narrow(subKey);
    const std::string software = "SOFTWARE\\";
    if (path.compare(0, software.size(), software) == 0 && (access & KEY_WOW64_64KEY) == 0)
        path.insert(software.size(), "WOW6432Node\\");
    if (keys.count(path) == 0)
        return ERROR_FILE_NOT_FOUND;
    if ((access & KEY_SET_VALUE) != 0 && refusedKeys.count(path) != 0)
        return errorAccessDenied;
    *result = reinterpret_cast<HKEY>(nextHandle);
    nextHandle += 4;
    openKeys[*result] = OpenKey{path, access};
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* dataSize)
{
    Key* open = nullptr;
    const LONG status = findOpenKey(key, KEY_QUERY_VALUE, &open);
    if (status != ERROR_SUCCESS)
        return status;
    const auto value = open->find(narrow(valueName));
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

LONG WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize)
{
    Key* open = nullptr;
    const LONG status = findOpenKey(key, KEY_SET_VALUE, &open);
    if (status != ERROR_SUCCESS)
        return status;
    (*open)[narrow(valueName)] = Value{type, std::string(reinterpret_cast<const char*>(data), dataSize)};
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

}  // extern "C"
