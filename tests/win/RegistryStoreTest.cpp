// RegistryStore against the real (Wine) registry, in a private key.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "settings/RegistryStore.h"
#include "tests/win/WinTestSupport.h"

namespace {

HKEY const kRoot = HKEY_LOCAL_MACHINE;

class RegistryStoreTest : public testing::Test {
protected:
    void SetUp() override { SHDeleteKeyW(kRoot, base_.c_str()); }
    void TearDown() override { SHDeleteKeyW(kRoot, base_.c_str()); }

    std::wstring key(wchar_t const* sub) const { return base_ + L"\\" + sub; }

    // The value as stored: "TYPE:SIZE", or "missing".
    std::string stored(wchar_t const* sub, wchar_t const* name) const
    {
        DWORD type = 0;
        std::string data;
        if (!wintest::readRegistryValue(kRoot, key(sub).c_str(), name, type, data))
            return "missing";
        return std::to_string(type) + ":" + std::to_string(data.size());
    }

    RegistryStore store_;
    std::wstring const base_ =
        L"Software\\KovixToolTests\\" + std::to_wstring(GetCurrentProcessId());
};

} // namespace

TEST_F(RegistryStoreTest, OnlyTheStringWriterCreatesKeysAndAllUseTheDocumentedSizes)
{
    BYTE const four[4] = {1, 0, 0, 0};
    ASSERT_EQ(RegistryWrite::NoKey, store_.writeBinary(kRoot, key(L"A\\B\\C").c_str(), L"Bin", four, 4));
    ASSERT_TRUE(store_.writeString(kRoot, key(L"A\\B\\C").c_str(), L"Empty", L""));
    ASSERT_EQ(RegistryWrite::Written, store_.writeBinary(kRoot, key(L"A\\B\\C").c_str(), L"Bin", four, 4));
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(wintest::readRegistryValue(kRoot, key(L"A\\B\\C").c_str(), L"Bin", type, data));
    EXPECT_EQ(DWORD(REG_BINARY), type);
    EXPECT_EQ(std::string("\x01\x00\x00\x00", 4), data);

    BYTE const one[1] = {7};
    DWORD const units[2] = {1, 2};
    ASSERT_EQ(RegistryWrite::Written, store_.writeBinary(kRoot, key(L"A").c_str(), L"Zero", one, 0));
    ASSERT_EQ(RegistryWrite::Written, store_.writeDword(kRoot, key(L"A").c_str(), L"Dw", units, 0));
    ASSERT_TRUE(store_.writeString(kRoot, key(L"S").c_str(), L"Empty", L""));
    ASSERT_TRUE(store_.writeString(kRoot, key(L"S").c_str(), L"Path", L"C:\\Tools\\KOVIX Tool.exe"));
    EXPECT_EQ("3:1", stored(L"A", L"Zero")) << "a count of 0 still writes one byte";
    EXPECT_EQ("4:4", stored(L"A", L"Dw")) << "a count of 0 still writes one DWORD";
    EXPECT_EQ("1:2", stored(L"S", L"Empty")) << "REG_SZ of the terminator alone";
    EXPECT_EQ("1:48", stored(L"S", L"Path")) << "23 characters and the terminator";
}

TEST_F(RegistryStoreTest, NullDataIsRefusedButTheKeyIsStillCreated)
{
    std::wstring const path = key(L"N");
    EXPECT_FALSE(store_.writeString(kRoot, path.c_str(), L"V", nullptr));
    EXPECT_EQ(RegistryWrite::Refused, store_.writeBinary(kRoot, path.c_str(), L"V", nullptr, 4));
    EXPECT_EQ(RegistryWrite::Refused, store_.writeDword(kRoot, path.c_str(), L"V", nullptr, 1));
    EXPECT_FALSE(store_.hasValue(kRoot, path.c_str(), L"V"));
    // An absent value under an existing key deletes fine; under a missing key not.
    EXPECT_TRUE(store_.deleteValue(kRoot, path.c_str(), L"V")) << "the key was created";
}

TEST_F(RegistryStoreTest, PresenceAndDeletion)
{
    std::wstring const missing = key(L"Missing");
    EXPECT_FALSE(store_.hasValue(kRoot, missing.c_str(), L"V"))
        << "a key that cannot be opened counts as absent";
    EXPECT_FALSE(store_.deleteValue(kRoot, missing.c_str(), L"V"));

    std::wstring const path = key(L"K");
    ASSERT_TRUE(store_.writeString(kRoot, path.c_str(), L"Other", L""));
    EXPECT_FALSE(store_.hasValue(kRoot, path.c_str(), L"V"));
    EXPECT_TRUE(store_.deleteValue(kRoot, path.c_str(), L"V"))
        << "deleting an absent value under an existing key succeeds";

    // A value with no data at all still exists.
    HKEY k = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(kRoot, path.c_str(), 0, KEY_WRITE, &k));
    RegSetValueExW(k, L"Empty", 0, REG_BINARY, nullptr, 0);
    RegCloseKey(k);
    EXPECT_TRUE(store_.hasValue(kRoot, path.c_str(), L"Empty"));
    EXPECT_TRUE(store_.deleteValue(kRoot, path.c_str(), L"Empty"));
    EXPECT_FALSE(store_.hasValue(kRoot, path.c_str(), L"Empty"));
}

TEST_F(RegistryStoreTest, AKeyThisAccountMayOnlyReadIsReadTrulyAndEveryChangeIsRefused)
{
    std::wstring const path = key(L"Locked");
    ASSERT_TRUE(store_.writeString(kRoot, path.c_str(), L"Run", L"x"));
    BYTE const one[1] = {1};
    ASSERT_EQ(RegistryWrite::Written, store_.writeBinary(kRoot, path.c_str(), L"Bin", one, 1));
    wintest::KeyLock const lock(kRoot, path.c_str());
    ASSERT_TRUE(lock.locked());

    EXPECT_TRUE(store_.hasValue(kRoot, path.c_str(), L"Run"));
    EXPECT_FALSE(store_.hasValue(kRoot, path.c_str(), L"Other"));
    DWORD const unit = 1;
    EXPECT_EQ(RegistryWrite::Unchanged, store_.writeBinary(kRoot, path.c_str(), L"Bin", one, 1))
        << "what the value holds already needs no rights";
    EXPECT_FALSE(store_.writeString(kRoot, path.c_str(), L"Run", L"y"));
    EXPECT_EQ(RegistryWrite::Refused, store_.writeDword(kRoot, path.c_str(), L"Bin", &unit, 1));
    EXPECT_FALSE(store_.deleteValue(kRoot, path.c_str(), L"Run"));
    EXPECT_EQ("1:4", stored(L"Locked", L"Run")) << "untouched";
}
