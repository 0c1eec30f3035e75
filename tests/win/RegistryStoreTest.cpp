// RegistryStore against the real (Wine) registry, in a private key.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "settings/RegistryStore.h"

namespace {

class RegistryStoreTest : public testing::Test {
protected:
    void SetUp() override
    {
        base_ = L"Software\\KovixToolTests\\" + std::to_wstring(GetCurrentProcessId());
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, base_.c_str());
    }
    void TearDown() override { SHDeleteKeyW(HKEY_LOCAL_MACHINE, base_.c_str()); }

    std::wstring key(wchar_t const* sub) const { return base_ + L"\\" + sub; }

    // Type and size of a value, or false when it cannot be read.
    bool query(std::wstring const& path, wchar_t const* name, DWORD& type, std::string& data)
    {
        HKEY k = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
            return false;
        BYTE buffer[256];
        DWORD size = sizeof(buffer);
        LONG const result = RegQueryValueExW(k, name, nullptr, &type, buffer, &size);
        RegCloseKey(k);
        data.assign(reinterpret_cast<char*>(buffer), size);
        return result == ERROR_SUCCESS;
    }

    RegistryStore store_;
    std::wstring base_;
};

TEST_F(RegistryStoreTest, WritersCreateMissingKeysAndUseTheDocumentedSizes)
{
    DWORD type = 0;
    std::string data;

    BYTE const four[4] = {1, 0, 0, 0};
    ASSERT_TRUE(store_.writeBinary(HKEY_LOCAL_MACHINE, key(L"A\\B\\C").c_str(), L"Bin", four, 4));
    ASSERT_TRUE(query(key(L"A\\B\\C"), L"Bin", type, data));
    EXPECT_EQ(DWORD(REG_BINARY), type);
    EXPECT_EQ(std::string("\x01\x00\x00\x00", 4), data);

    BYTE const one[1] = {7};
    ASSERT_TRUE(store_.writeBinary(HKEY_LOCAL_MACHINE, key(L"A").c_str(), L"Zero", one, 0));
    ASSERT_TRUE(query(key(L"A"), L"Zero", type, data));
    EXPECT_EQ(1u, data.size()) << "a count of 0 still writes one byte";

    DWORD const units[2] = {1, 2};
    ASSERT_TRUE(store_.writeDword(HKEY_LOCAL_MACHINE, key(L"D\\E").c_str(), L"Dw", units, 0));
    ASSERT_TRUE(query(key(L"D\\E"), L"Dw", type, data));
    EXPECT_EQ(DWORD(REG_DWORD), type);
    EXPECT_EQ(4u, data.size()) << "a count of 0 still writes one DWORD";

    ASSERT_TRUE(store_.writeString(HKEY_LOCAL_MACHINE, key(L"S").c_str(), L"Empty", L""));
    ASSERT_TRUE(query(key(L"S"), L"Empty", type, data));
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(2u, data.size()) << "the terminator alone";

    ASSERT_TRUE(store_.writeString(HKEY_LOCAL_MACHINE, key(L"S").c_str(), L"Path",
                                   L"C:\\Tools\\KOVIX Tool.exe"));
    ASSERT_TRUE(query(key(L"S"), L"Path", type, data));
    EXPECT_EQ((23u + 1u) * 2u, data.size());
}

TEST_F(RegistryStoreTest, NullDataIsRefusedButTheKeyIsStillCreated)
{
    EXPECT_FALSE(store_.writeString(HKEY_LOCAL_MACHINE, key(L"N").c_str(), L"V", nullptr));
    EXPECT_FALSE(store_.writeBinary(HKEY_LOCAL_MACHINE, key(L"N").c_str(), L"V", nullptr, 4));
    EXPECT_FALSE(store_.writeDword(HKEY_LOCAL_MACHINE, key(L"N").c_str(), L"V", nullptr, 1));
    EXPECT_FALSE(store_.hasValue(HKEY_LOCAL_MACHINE, key(L"N").c_str(), L"V"));
}

TEST_F(RegistryStoreTest, PresenceAndDeletion)
{
    EXPECT_FALSE(store_.hasValue(HKEY_LOCAL_MACHINE, key(L"Missing").c_str(), L"V"))
        << "a key that cannot be opened counts as absent";
    EXPECT_FALSE(store_.deleteValue(HKEY_LOCAL_MACHINE, key(L"Missing").c_str(), L"V"));

    BYTE const none[1] = {0};
    ASSERT_TRUE(store_.writeBinary(HKEY_LOCAL_MACHINE, key(L"K").c_str(), L"Other", none, 1));
    EXPECT_FALSE(store_.hasValue(HKEY_LOCAL_MACHINE, key(L"K").c_str(), L"V"));
    EXPECT_TRUE(store_.deleteValue(HKEY_LOCAL_MACHINE, key(L"K").c_str(), L"V"))
        << "deleting an absent value under an existing key succeeds";

    // A value with no data at all still exists.
    HKEY k = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, key(L"K").c_str(), 0, KEY_WRITE, &k));
    RegSetValueExW(k, L"Empty", 0, REG_BINARY, nullptr, 0);
    RegCloseKey(k);
    EXPECT_TRUE(store_.hasValue(HKEY_LOCAL_MACHINE, key(L"K").c_str(), L"Empty"));

    EXPECT_TRUE(store_.deleteValue(HKEY_LOCAL_MACHINE, key(L"K").c_str(), L"Empty"));
    EXPECT_FALSE(store_.hasValue(HKEY_LOCAL_MACHINE, key(L"K").c_str(), L"Empty"));
}

} // namespace
