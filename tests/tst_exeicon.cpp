// What Windows reads from ondiva.exe for Explorer, the Start menu and the
// file's properties: the icon at each size it asks for, and the version.

#include <QDir>
#include <QTest>

#include <windows.h>

class TestExeIcon : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // LoadLibraryExW wants backslashes.
        const QString exe = QDir::toNativeSeparators(QStringLiteral(ONDIVA_EXE));
        m_exe = LoadLibraryExW(reinterpret_cast<const wchar_t*>(exe.utf16()), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        QVERIFY2(m_exe, "ondiva.exe cannot be loaded as a resource file");
    }
    void cleanupTestCase()
    {
        if (m_exe)
            FreeLibrary(m_exe);
    }

    void iconAtEverySize_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {16, 24, 32, 48, 256})
            QTest::addRow("%dx%d", size, size) << size;
    }
    void iconAtEverySize()
    {
        QFETCH(int, size);
        HICON icon = static_cast<HICON>(LoadImageW(m_exe, L"IDI_ICON1", IMAGE_ICON, size, size, 0));
        QVERIFY2(icon, "no icon in ondiva.exe");
        ICONINFO info{};
        QVERIFY(GetIconInfo(icon, &info));
        BITMAP colour{};
        QVERIFY(GetObjectW(info.hbmColor, sizeof colour, &colour));
        QCOMPARE(colour.bmWidth, size);
        QCOMPARE(colour.bmHeight, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }

    void versionNamesTheProgram()
    {
        HRSRC found = FindResourceW(m_exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16)); // RT_VERSION
        QVERIFY2(found, "no version in ondiva.exe");
        const auto* data = static_cast<const char*>(LockResource(LoadResource(m_exe, found)));
        const QByteArray block(data, qsizetype(SizeofResource(m_exe, found)));
        // The version block's strings are UTF-16.
        const auto utf16 = [](const QString& text) {
            return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        };
        QVERIFY(block.contains(utf16(QStringLiteral("Ondiva Magazine Database Search Engine"))));
        QVERIFY(block.contains(utf16(QStringLiteral(ONDIVA_VERSION))));
    }

private:
    HMODULE m_exe = nullptr;
};

QTEST_GUILESS_MAIN(TestExeIcon)
#include "tst_exeicon.moc"
