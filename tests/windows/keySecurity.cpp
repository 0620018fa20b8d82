// Gives a key under HKEY_LOCAL_MACHINE the owner and access list written in
// SDDL, and prints the owner and access list it had, in SDDL, so that they
// can be given back.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <sddl.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: key-security KEY SDDL\n");
        return 2;
    }
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    HKEY key;
    BYTE former[4096];
    DWORD size = sizeof former;
    PSECURITY_DESCRIPTOR wanted = nullptr;
    LPSTR formerText = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[1], 0, READ_CONTROL | WRITE_DAC | WRITE_OWNER, &key)
            != ERROR_SUCCESS
        || RegGetKeySecurity(key, parts, former, &size) != ERROR_SUCCESS
        || !ConvertSecurityDescriptorToStringSecurityDescriptorA(former, SDDL_REVISION_1, parts, &formerText,
                                                                 nullptr)
        || !ConvertStringSecurityDescriptorToSecurityDescriptorA(argv[2], SDDL_REVISION_1, &wanted, nullptr)
        || RegSetKeySecurity(key, parts, wanted) != ERROR_SUCCESS) {
        std::fprintf(stderr, "key-security: failed\n");
        return 1;
    }
    std::printf("%s\n", formerText);
    return 0;
}
