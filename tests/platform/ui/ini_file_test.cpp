#include "platform/ui/ini_file.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class IniFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("forminfo.ini")); }
    void put(const QByteArray& bytes) {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray bytes() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault) {
    ui::IniFile ini(path());
    EXPECT_EQ(ini.readInteger("MAIN", "P2", 0), 0);
    EXPECT_EQ(ini.readString("MAIN", "LOCALPATH", "-1"), "-1");
    put("[FTP]\nINFO=93\n");
    EXPECT_EQ(ini.readInteger("MAIN", "INFO", 7), 7);
    EXPECT_EQ(ini.readInteger("FTP", "UPDOWN", 116), 116);
}

TEST_F(IniFileTest, WritesPlainSectionsAndKeysAndReadsThemBack) {
    ui::IniFile ini(path());
    ASSERT_TRUE(ini.writeInteger("MAIN", "P2", 2));
    ASSERT_TRUE(ini.writeString("MAIN", "LOCALPATH", "/home/u/My Files"));
    ASSERT_TRUE(ini.writeInteger("FTP", "INFO", -5));
    ASSERT_TRUE(ini.writeInteger("MAIN", "P2", 1));  // replaced in place
    EXPECT_EQ(bytes(), QByteArray("[MAIN]\nP2=1\nLOCALPATH=/home/u/My Files\n[FTP]\nINFO=-5\n"));
    EXPECT_EQ(ini.readInteger("MAIN", "P2", 0), 1);
    EXPECT_EQ(ini.readString("MAIN", "LOCALPATH", "-1"), "/home/u/My Files");
    EXPECT_EQ(ini.readInteger("FTP", "INFO", 0), -5);
}

TEST_F(IniFileTest, NamesMatchWithoutCaseAndValuesLoseBlanksAndQuotes) {
    put("[main]\n  p2 = 2 \nLocalPath=\"C:\\Temp \"\n");
    ui::IniFile ini(path());
    EXPECT_EQ(ini.readInteger("MAIN", "P2", 0), 2);
    EXPECT_EQ(ini.readString("MAIN", "LOCALPATH", ""), "C:\\Temp ");
    ASSERT_TRUE(ini.writeInteger("MAIN", "P2", 0));
    EXPECT_EQ(bytes(), QByteArray("[main]\nP2=0\nLocalPath=\"C:\\Temp \"\n"));
}

TEST_F(IniFileTest, KeepsEveryOtherLineByteForByte) {
    const QByteArray original =
        "; written by hand\r\n[MAIN]\r\nP2=1\r\n\r\n[OTHER]\r\nX=\xff\xfe raw\r\n[FTP]\r\nINFO=93\r\n";
    put(original);
    ui::IniFile ini(path());
    ASSERT_TRUE(ini.writeInteger("MAIN", "PWIDTH", 250));  // new key goes into its section
    ASSERT_TRUE(ini.writeInteger("FTP", "INFO", 100));
    ASSERT_TRUE(ini.writeInteger("NEW", "K", 1));          // new section at the end
    EXPECT_EQ(bytes(), QByteArray("; written by hand\r\n[MAIN]\r\nP2=1\r\nPWIDTH=250\r\n\r\n"
                                  "[OTHER]\r\nX=\xff\xfe raw\r\n[FTP]\r\nINFO=100\r\n[NEW]\r\nK=1\r\n"));
}

TEST_F(IniFileTest, ByteOrderMarkBeforeTheFirstSectionIsKept) {
    put("\xEF\xBB\xBF[MAIN]\nP2=2\n");
    ui::IniFile ini(path());
    EXPECT_EQ(ini.readInteger("MAIN", "P2", 0), 2);
    ASSERT_TRUE(ini.writeInteger("MAIN", "P2", 1));
    EXPECT_EQ(bytes(), QByteArray("\xEF\xBB\xBF[MAIN]\nP2=1\n"));
}

TEST_F(IniFileTest, FirstOccurrenceWinsForReadAndWrite) {
    put("[MAIN]\nP2=1\nP2=2\n[MAIN]\nP2=0\n");
    ui::IniFile ini(path());
    EXPECT_EQ(ini.readInteger("MAIN", "P2", 9), 1);
    ASSERT_TRUE(ini.writeInteger("MAIN", "P2", 2));
    EXPECT_EQ(bytes(), QByteArray("[MAIN]\nP2=2\nP2=2\n[MAIN]\nP2=0\n"));
}

TEST_F(IniFileTest, NonNumericIntegerGivesTheDefault) {
    put("[MAIN]\nP2=abc\nPWIDTH=12px\nWELCOMEH=\n");
    ui::IniFile ini(path());
    EXPECT_EQ(ini.readInteger("MAIN", "P2", 0), 0);
    EXPECT_EQ(ini.readInteger("MAIN", "PWIDTH", 307), 307);
    EXPECT_EQ(ini.readInteger("MAIN", "WELCOMEH", 211), 211);
}

TEST_F(IniFileTest, RefusesValuesThatWouldSplitIntoLines) {
    ui::IniFile ini(path());
    ASSERT_TRUE(ini.writeInteger("MAIN", "P2", 1));
    EXPECT_FALSE(ini.writeString("MAIN", "LOCALPATH", "/tmp/a\n[MAIN]\nP2=2"));
    EXPECT_FALSE(ini.writeString("MAIN", "LOCALPATH", QStringLiteral("a\rb")));
    EXPECT_FALSE(ini.writeString("MAIN", "LOCALPATH", QString(QChar(0))));
    EXPECT_EQ(bytes(), QByteArray("[MAIN]\nP2=1\n"));
}

TEST_F(IniFileTest, WriteIntoMissingFolderFailsWithoutCreatingIt) {
    ui::IniFile ini(dir.filePath("missing/forminfo.ini"));
    EXPECT_FALSE(ini.writeInteger("MAIN", "P2", 1));
    EXPECT_FALSE(QFile::exists(dir.filePath("missing")));
}

TEST_F(IniFileTest, NonAsciiValuesRoundTrip) {
    ui::IniFile ini(path());
    const QString p = QStringLiteral("/home/j\u00fcrgen/\u65e5\u672c");
    ASSERT_TRUE(ini.writeString("MAIN", "LOCALPATH", p));
    EXPECT_EQ(ini.readString("MAIN", "LOCALPATH", "-1"), p);
}

}  // namespace
