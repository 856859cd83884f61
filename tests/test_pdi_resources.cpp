// The PDI's string table: the default-printer question and caption in every language.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace
{

struct LocalizedPair
{
    WORD wLangId;
    const char* pszQuestion;  // UTF-8
    const char* pszCaption;
};

const LocalizedPair kStrings[] = {
    {0x0404, u8"您要將 %1 設定為預設印表機嗎？", u8"設定預設印表機"},
    {0x0405, u8"Chcete tiskárnu %1 nastavit jako výchozí?", u8"Nastavit výchozí tiskárnu"},
    {0x0406, u8"Skal %1 være standardprinteren?", u8"Angiv standardprinter"},
    {0x0407, u8"Möchten Sie den Drucker %1 als Standarddrucker verwenden?", u8"Standarddrucker einstellen"},
    {0x0408, u8"Θέλετε να ορίσετε το %1 ως τον προεπιλεγμένο εκτυπωτή σας;", u8"Ορισμός προεπιλεγμένου εκτυπωτή"},
    {0x0409, u8"Do you want to set the %1 as your default printer?", u8"Set Default Printer"},
    {0x040B, u8"Haluatko määrittää tulostimen %1 oletustulostimeksi?", u8"Oletustulostimen määrittäminen"},
    {0x040C, u8"Voulez-vous définir %1 comme imprimante par défaut ?", u8"Imprimante par défaut"},
    {0x040E, u8"A(z) %1 nyomtatót szeretné beállítani alapértelmezett nyomtatóként?", u8"Alapértelmezett nyomtató beállítása"},
    {0x0410, u8"Impostare %1 come stampante predefinita?", u8"Imposta stampante predefinita"},
    {0x0411, u8"%1 を通常使うプリンタとして設定しますか?", u8"通常使うプリンタの設定"},
    {0x0412, u8"기본 프린터로 %1을(를) 설정하시겠습니까?", u8"기본 프린터 설정"},
    {0x0413, u8"Wilt u %1 instellen als standaardprinter?", u8"Standaardprinter instellen"},
    {0x0414, u8"Vil du angi %1 som din standardskriver?", u8"Angi som standardskriver"},
    {0x0415, u8"Czy chcesz ustawić drukarkę %1 jako drukarkę domyślną?", u8"Ustaw drukarkę domyślną"},
    {0x0416, u8"Deseja definir a %1 como a impressora padrão?", u8"Definir impressora padrão"},
    {0x0419, u8"Выбрать %1 в качестве принтера по умолчанию?", u8"Выбрать принтер по умолчанию"},
    {0x041D, u8"Vill du att %1 ska vara din standardskrivare?", u8"Ställ in standardskrivare"},
    {0x041F, u8"%1 yazıcısını varsayılan yazıcınız olarak belirlemek istiyor musunuz?", u8"Varsayılan Yazıcıyı Belirle"},
    {0x0804, u8"想要将 %1 设置为默认打印机吗？", u8"设置默认打印机"},
    {0x0C0A, u8"¿Desea establecer %1 como impresora predeterminada?", u8"Establecer impresora predeterminada"},
};

std::wstring FromUtf8(const char* psz)
{
    int cch = MultiByteToWideChar(CP_UTF8, 0, psz, -1, NULL, 0);
    std::wstring s(cch > 0 ? cch - 1 : 0, L'\0');
    if (cch > 1) MultiByteToWideChar(CP_UTF8, 0, psz, -1, &s[0], cch);
    return s;
}

// String uId of a module's table in one language, read from its 16-string block.
bool TableString(HMODULE hModule, UINT uId, WORD wLangId, std::wstring* ps)
{
    HRSRC hInfo = FindResourceExA(hModule, RT_STRING, MAKEINTRESOURCEA(uId / 16 + 1), wLangId);
    if (!hInfo) return false;
    const WCHAR* p = static_cast<const WCHAR*>(LockResource(LoadResource(hModule, hInfo)));
    if (!p) return false;
    for (UINT i = 0; i < uId % 16; ++i) p += 1 + *p;
    ps->assign(p + 1, *p);
    return true;
}

}  // namespace

TEST(PdiResources, QuestionAndCaptionInTwentyOneLanguages)
{
    HMODULE hPdi = LoadLibraryExA(vxtest::PdiExePath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(hPdi != NULL) << GetLastError();
    ASSERT_EQ(21u, sizeof(kStrings) / sizeof(kStrings[0]));
    for (const LocalizedPair& pair : kStrings)
    {
        std::wstring sQuestion, sCaption;
        ASSERT_TRUE(TableString(hPdi, 1, pair.wLangId, &sQuestion)) << std::hex << pair.wLangId;
        ASSERT_TRUE(TableString(hPdi, 2, pair.wLangId, &sCaption)) << std::hex << pair.wLangId;
        EXPECT_TRUE(FromUtf8(pair.pszQuestion) == sQuestion) << std::hex << pair.wLangId;
        EXPECT_TRUE(FromUtf8(pair.pszCaption) == sCaption) << std::hex << pair.wLangId;
        EXPECT_NE(std::wstring::npos, sQuestion.find(L"%1")) << std::hex << pair.wLangId;
    }
    FreeLibrary(hPdi);
}
