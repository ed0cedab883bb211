#include "programs/ProgramJson.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include <QJsonArray>
#include <QJsonDocument>

#include "TestRecords.h"

namespace talvo {
namespace {

using testing::VariedProgram;

// Through JSON text, as show and pack use it: numbers are printed and parsed again.
std::optional<RecordImage> ThroughText(const RecordImage &record, QString *error)
{
    const QByteArray text = QJsonDocument(RecordToJson(record)).toJson();
    return RecordFromJson(QJsonDocument::fromJson(text).object(), error);
}

TEST(ProgramJson, KeysAndValuesOfTheDefaultProgram)
{
    const QJsonObject o = RecordToJson(DefaultProgram());
    EXPECT_EQ(o["name"].toString(), QStringLiteral(" FLAT DF  "));
    EXPECT_EQ(o["mode"].toInt(), 0);
    EXPECT_EQ(o["inUse"].toInt(), 1);
    EXPECT_EQ(o["programNumber"].toInt(), 255);
    EXPECT_EQ(o["headerTail"].toString(), QStringLiteral("14 14 14"));
    const QJsonObject left = o["left"].toObject();
    const QJsonObject band = left["peq"].toArray().at(1).toObject();
    EXPECT_EQ(band["freq"].toDouble(), 270.0);
    EXPECT_EQ(band["gain"].toDouble(), 0.0);
    EXPECT_EQ(band["q"].toDouble(), 3.0);
    EXPECT_EQ(band["flat"].toBool(true), false);
    EXPECT_FALSE(band.contains("gainSign"));
    EXPECT_EQ(left["lowPass"].toObject()["freq"].toDouble(), 20200.0);
    EXPECT_EQ(left["highPass"].toObject()["slope"].toInt(-1), 0);
    EXPECT_EQ(left["gain"].toDouble(), -100.0);
    EXPECT_FALSE(left.contains("gainSign"));
    EXPECT_EQ(left["limitThreshold"].toInt(), 65);
    EXPECT_EQ(left["channelTail"].toString(), QStringLiteral("20 20 20"));
    EXPECT_EQ(o["right"].toObject(), left);
}

TEST(ProgramJson, DefaultAndVariedRecordsRoundTripByteForByte)
{
    for (const RecordImage &record : {DefaultProgram(), BlankSlotRecord(), EncodeProgram(VariedProgram())}) {
        QString error;
        const std::optional<RecordImage> back = ThroughText(record, &error);
        ASSERT_TRUE(back.has_value()) << error.toStdString();
        EXPECT_EQ(*back, record);
    }
}

TEST(ProgramJson, SignCornerCasesUseGainSign)
{
    RecordImage record = DefaultProgram();
    record[16 + 5] = 0x55;        // left band 1: -0.00 dB
    record[16 + 8 + 5] = 0x00;    // left band 2: odd sign byte, 0 dB
    record[16 + 8 + 3] = 0x03;    // ... 3 dB
    record[64 + 32] = 0x00;       // right gain -0.00 dB
    record[64 + 33] = 0x00;
    record[64 + 34] = 0x55;
    const QJsonObject o = RecordToJson(record);
    const QJsonArray peq = o["left"].toObject()["peq"].toArray();
    EXPECT_EQ(peq.at(0).toObject()["gainSign"].toInt(), 85);
    EXPECT_EQ(peq.at(1).toObject()["gainSign"].toInt(), 0);
    EXPECT_EQ(peq.at(1).toObject()["gain"].toDouble(), 3.0);
    EXPECT_FALSE(peq.at(2).toObject().contains("gainSign"));
    EXPECT_EQ(o["right"].toObject()["gainSign"].toInt(), 85);
    EXPECT_FALSE(o["left"].toObject().contains("gainSign"));  // -100 with 55 needs nothing

    QString error;
    const std::optional<RecordImage> back = ThroughText(record, &error);
    ASSERT_TRUE(back.has_value()) << error.toStdString();
    EXPECT_EQ(*back, record);
}

// Every record whose values lie in the ranges the editors produce (the bands and the header in
// their byte ranges) comes back unchanged through JSON text.
TEST(ProgramJson, RandomInRangeRecordsRoundTrip)
{
    std::mt19937 rng(20240611);
    const auto any = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const auto put16 = [](std::uint8_t *p, int v) {
        p[0] = static_cast<std::uint8_t>(v >> 8);
        p[1] = static_cast<std::uint8_t>(v & 0xFF);
    };
    for (int round = 0; round < 3000; ++round) {
        RecordImage r{};
        for (int i = 0; i < 16; ++i) r[i] = static_cast<std::uint8_t>(any(0, 255));
        for (const int base : {16, 64}) {
            std::uint8_t *c = r.data() + base;
            for (int b = 0; b < 3; ++b) {
                std::uint8_t *band = c + 8 * b;
                put16(band, any(0, 65535));
                band[2] = static_cast<std::uint8_t>(any(0, 99));
                const bool flat = any(0, 1);
                band[3] = static_cast<std::uint8_t>(flat ? any(200, 255) : any(0, 150));
                band[4] = static_cast<std::uint8_t>(band[3] == 150 ? 0 : any(0, 99));
                band[5] = static_cast<std::uint8_t>(any(0, 3) ? (any(0, 1) ? 0x55 : 0xAA) : any(0, 255));
                if (any(0, 5) == 0) band[3] = flat ? 200 : 0, band[4] = 0;  // zero magnitudes
                band[6] = static_cast<std::uint8_t>(any(0, 255));
                band[7] = static_cast<std::uint8_t>(any(0, 99));
            }
            // A value with hundredths up to top.00 inclusive.
            const auto pair = [&](std::uint8_t *whole, std::uint8_t *hundredths, int top) {
                const int v = any(0, top * 100);
                *whole = static_cast<std::uint8_t>(v / 100);
                *hundredths = static_cast<std::uint8_t>(v % 100);
            };
            for (const int f : {24, 28}) {
                c[f] = static_cast<std::uint8_t>(any(0, 8) ? any(0, 15) : 255);
                const int hz = any(1000, 2020000);
                put16(c + f + 1, hz / 100);
                c[f + 3] = static_cast<std::uint8_t>(hz % 100);
            }
            c[34] = static_cast<std::uint8_t>(any(0, 3) ? (any(0, 1) ? 0x55 : 0xAA) : any(0, 255));
            if (c[34] == 0x55 && any(0, 3) == 0)
                c[32] = 100, c[33] = 0;  // muted
            else
                pair(&c[32], &c[33], c[34] == 0x55 ? 60 : 6);
            pair(&c[35], &c[36], 7);
            c[37] = static_cast<std::uint8_t>(any(0, 65));
            put16(c + 38, any(10, 1000));
            c[40] = static_cast<std::uint8_t>(any(0, 1) ? 180 : 0);
            put16(c + 41, any(0, 100));
            put16(c + 43, any(10, 1000));
            for (int t = 45; t < 48; ++t) c[t] = static_cast<std::uint8_t>(any(0, 255));
        }
        QString error;
        const std::optional<RecordImage> back = ThroughText(r, &error);
        ASSERT_TRUE(back.has_value()) << "round " << round << ": " << error.toStdString();
        ASSERT_EQ(*back, r) << "round " << round << "\n"
                            << QJsonDocument(RecordToJson(r)).toJson().toStdString();
    }
}

// Bytes that no encoder writes for their value (a hundredths byte of 100 or more, a band gain
// whole byte between 151 and 199) still come back exactly, through the "<key>Bytes" shown beside
// the value.
TEST(ProgramJson, BytesNoEncoderWritesComeBackExactly)
{
    struct Case {
        const char *name;
        int offset;  // in the record
        std::vector<std::uint8_t> bytes;
        const char *bytesKey;
    };
    const Case cases[] = {
        {"band frequency hundredths 150", 16 + 2, {150}, "freq"},
        {"band gain whole byte 151", 16 + 8 + 3, {151, 0}, "gain"},
        {"band gain hundredths 255", 16 + 8 + 4, {255}, "gain"},
        {"band q hundredths 100", 64 + 16 + 7, {100}, "q"},
        {"high-pass frequency hundredths 199", 16 + 28 + 3, {199}, "freq"},
        {"channel gain 0 and 150 hundredths", 64 + 32, {0, 150, 0xAA}, "gain"},
        {"delay 3 and 150 hundredths", 16 + 35, {3, 150}, "delay"},
    };
    for (const Case &c : cases) {
        RecordImage record = DefaultProgram();
        std::copy(c.bytes.begin(), c.bytes.end(), record.begin() + c.offset);
        const QByteArray text = QJsonDocument(RecordToJson(record)).toJson();
        EXPECT_TRUE(text.contains(QByteArray(c.bytesKey) + "Bytes")) << c.name;
        QString error;
        const std::optional<RecordImage> back = ThroughText(record, &error);
        ASSERT_TRUE(back.has_value()) << c.name << ": " << error.toStdString();
        EXPECT_EQ(*back, record) << c.name;
    }
}

// Any bytes at all in the bands (which pack leaves in their byte ranges) come back exactly.
TEST(ProgramJson, RandomBandBytesRoundTrip)
{
    std::mt19937 rng(20261210);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 2000; ++round) {
        RecordImage record = DefaultProgram();
        for (const int base : {16, 64})
            for (int i = 0; i < 24; ++i) record[base + i] = static_cast<std::uint8_t>(byte(rng));
        QString error;
        const std::optional<RecordImage> back = ThroughText(record, &error);
        ASSERT_TRUE(back.has_value()) << "round " << round << ": " << error.toStdString();
        ASSERT_EQ(*back, record) << "round " << round << "\n"
                                 << QJsonDocument(RecordToJson(record)).toJson().toStdString();
    }
}

// Each case changes one value of the default program's JSON and expects a refusal naming it.
TEST(ProgramJson, RefusesBadValuesNamingTheKey)
{
    struct Case {
        const char *key;
        std::function<void(QJsonObject &)> change;
    };
    const auto inLeft = [](QJsonObject &o, const std::function<void(QJsonObject &)> &f) {
        QJsonObject left = o["left"].toObject();
        f(left);
        o["left"] = left;
    };
    const auto inBand = [inLeft](QJsonObject &o, int i, const std::function<void(QJsonObject &)> &f) {
        inLeft(o, [&](QJsonObject &left) {
            QJsonArray peq = left["peq"].toArray();
            QJsonObject band = peq.at(i).toObject();
            f(band);
            peq[i] = band;
            left["peq"] = peq;
        });
    };
    const Case cases[] = {
        {"name", [](QJsonObject &o) { o["name"] = "Eleven char"; }},
        {"name", [](QJsonObject &o) { o["name"] = QStringLiteral("\u4E2D"); }},
        {"name", [](QJsonObject &o) { o["name"] = 5; }},
        {"mode", [](QJsonObject &o) { o.remove("mode"); }},
        {"mode", [](QJsonObject &o) { o["mode"] = 256; }},
        {"mode", [](QJsonObject &o) { o["mode"] = 1.5; }},
        {"inUse", [](QJsonObject &o) { o["inUse"] = "1"; }},
        {"programNumber", [](QJsonObject &o) { o["programNumber"] = -1; }},
        {"headerTail", [](QJsonObject &o) { o["headerTail"] = "20 20"; }},
        {"headerTail", [](QJsonObject &o) { o["headerTail"] = "20 2G 20"; }},
        {"extra", [](QJsonObject &o) { o["extra"] = 1; }},
        {"right", [](QJsonObject &o) { o.remove("right"); }},
        {"left.peq", [inLeft](QJsonObject &o) { inLeft(o, [](QJsonObject &l) { l["peq"] = QJsonArray{}; }); }},
        {"left.peq[1].q", [inBand](QJsonObject &o) { inBand(o, 1, [](QJsonObject &b) { b.remove("q"); }); }},
        {"left.peq[1].q", [inBand](QJsonObject &o) { inBand(o, 1, [](QJsonObject &b) { b["q"] = 256.0; }); }},
        {"left.peq[0].freq", [inBand](QJsonObject &o) { inBand(o, 0, [](QJsonObject &b) { b["freq"] = -1.0; }); }},
        {"left.peq[0].freq", [inBand](QJsonObject &o) { inBand(o, 0, [](QJsonObject &b) { b["freq"] = 65536.0; }); }},
        {"left.peq[0].freq", [inBand](QJsonObject &o) { inBand(o, 0, [](QJsonObject &b) { b["freq"] = 30.125; }); }},
        {"left.peq[2].gain", [inBand](QJsonObject &o) { inBand(o, 2, [](QJsonObject &b) { b["gain"] = 150.01; }); }},
        {"left.peq[2].gain", [inBand](QJsonObject &o) {
             inBand(o, 2, [](QJsonObject &b) { b["flat"] = true; b["gain"] = 56.0; });
         }},
        {"left.peq[2].flat", [inBand](QJsonObject &o) { inBand(o, 2, [](QJsonObject &b) { b["flat"] = 1; }); }},
        {"left.peq[2].gainSign", [inBand](QJsonObject &o) {
             inBand(o, 2, [](QJsonObject &b) { b["gain"] = -3.0; b["gainSign"] = 170; });
         }},
        {"left.peq[2].gainSign", [inBand](QJsonObject &o) {
             inBand(o, 2, [](QJsonObject &b) { b["gain"] = 3.0; b["gainSign"] = 85; });
         }},
        {"left.peq[2].gainsign", [inBand](QJsonObject &o) { inBand(o, 2, [](QJsonObject &b) { b["gainsign"] = 85; }); }},
        {"left.peq[0].freqBytes", [inBand](QJsonObject &o) {
             inBand(o, 0, [](QJsonObject &b) { b["freqBytes"] = "00 1E 96"; });  // 31.50, not 30
         }},
        {"left.peq[0].qBytes", [inBand](QJsonObject &o) { inBand(o, 0, [](QJsonObject &b) { b["qBytes"] = "03"; }); }},
        {"left.peq[1].gainBytes", [inBand](QJsonObject &o) {
             inBand(o, 1, [](QJsonObject &b) { b["gain"] = -49.0; b["gainBytes"] = "97 00"; });  // 151 under 85
         }},
        {"left.peq[1].flat", [inBand](QJsonObject &o) {
             inBand(o, 1, [](QJsonObject &b) { b["gain"] = 49.0; b["gainSign"] = 85; b["gainBytes"] = "97 00"; });
         }},
        {"left.delayBytes", [inLeft](QJsonObject &o) { inLeft(o, [](QJsonObject &l) { l["delayBytes"] = "00 96"; }); }},
        {"left.lowPass.freqBytes", [inLeft](QJsonObject &o) {
             inLeft(o, [](QJsonObject &l) {
                 l["lowPass"] = QJsonObject{{"slope", 0}, {"freq", 100}, {"freqBytes", "00 63 C8"}};
             });
         }},
        {"left.lowPass.slope", [inLeft](QJsonObject &o) {
             inLeft(o, [](QJsonObject &l) { l["lowPass"] = QJsonObject{{"slope", 256}, {"freq", 100}}; });
         }},
        {"left.highPass", [inLeft](QJsonObject &o) { inLeft(o, [](QJsonObject &l) { l["highPass"] = 3; }); }},
        {"left.gain", [inLeft](QJsonObject &o) { inLeft(o, [](QJsonObject &l) { l["gain"] = -256.0; }); }},
        {"left.delay", [inLeft](QJsonObject &o) { inLeft(o, [](QJsonObject &l) { l["delay"] = -0.01; }); }},
        {"left.limitThreshold", [inLeft](QJsonObject &o) { inLeft(o, [](QJsonObject &l) { l["limitThreshold"] = 300; }); }},
        {"left.attack", [inLeft](QJsonObject &o) { inLeft(o, [](QJsonObject &l) { l["attack"] = 65536; }); }},
        {"left.hold", [inLeft](QJsonObject &o) { inLeft(o, [](QJsonObject &l) { l["hold"] = 0.5; }); }},
        {"left.decay", [inLeft](QJsonObject &o) { inLeft(o, [](QJsonObject &l) { l.remove("decay"); }); }},
        {"left.phase", [inLeft](QJsonObject &o) { inLeft(o, [](QJsonObject &l) { l["phase"] = QJsonValue::Null; }); }},
        {"left.channelTail", [inLeft](QJsonObject &o) { inLeft(o, [](QJsonObject &l) { l["channelTail"] = "2020202"; }); }},
    };
    for (const Case &c : cases) {
        QJsonObject o = RecordToJson(DefaultProgram());
        c.change(o);
        QString error;
        EXPECT_FALSE(RecordFromJson(o, &error, QStringLiteral("slots[3].")).has_value()) << c.key;
        EXPECT_TRUE(error.startsWith(QStringLiteral("slots[3].") + c.key + QStringLiteral(":")))
            << c.key << " -> " << error.toStdString();
    }
}

TEST(ProgramJson, ShortNamesAreFilledWithSpacesAndValuesNearAHundredthAccepted)
{
    QJsonObject o = RecordToJson(DefaultProgram());
    o["name"] = "Bass";
    QJsonObject left = o["left"].toObject();
    left["gain"] = 0.1 + 0.2 - 6.0;  // -5.7 give or take the last bit
    o["left"] = left;
    QString error;
    const std::optional<RecordImage> record = RecordFromJson(o, &error);
    ASSERT_TRUE(record.has_value()) << error.toStdString();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(record->data()), 10), QByteArray("Bass      "));
    EXPECT_EQ(DecodeProgram(*record).left.gain, -5.7);
}

}  // namespace
}  // namespace talvo
