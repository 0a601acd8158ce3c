#include "messenger/service/popupchannel.h"
#include "net/notificationprotocol.h"

#include <QDataStream>
#include <QTest>

using namespace messenger::service;
using namespace net::notification;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(messenger::service::Notification)

namespace {

QByteArray header(quint8 version, quint8 type, quint16 s, quint16 r, quint32 t)
{
    QByteArray bytes("TVKM");
    bytes += char(version);
    bytes += char(type);
    bytes += char(s >> 8);
    bytes += char(s & 0xff);
    bytes += char(r >> 8);
    bytes += char(r & 0xff);
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes += char((t >> shift) & 0xff);
    return bytes;
}

QByteArray frame(const QByteArray& s, const QByteArray& r, const QByteArray& t)
{
    return header(1, 1, quint16(s.size()), quint16(r.size()), quint32(t.size())) + s + r + t;
}

} // namespace

class TestProtocol final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encodeRequest_data()
    {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("recipient");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("ascii") << u"PCA"_s << u"PCB"_s << u"hello"_s
                               << QByteArray::fromHex("54564b4d 01 01 0003 0003 00000005 504341 504342 68656c6c6f");
        QTest::newRow("japanese, counted in bytes")
            << u"端末"_s << u"b"_s << u"あ"_s
            << QByteArray::fromHex("54564b4d 01 01 0006 0001 00000003 e7abafe69cab 62 e38182");
        QTest::newRow("empty fields") << QString() << QString() << QString()
                                      << QByteArray::fromHex("54564b4d 01 01 0000 0000 00000000");
    }
    void encodeRequest()
    {
        QFETCH(QString, sender);
        QFETCH(QString, recipient);
        QFETCH(QString, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(net::notification::encodeRequest({sender, recipient, text}), expected);
    }

    void encodeRequestLimitsInBytes()
    {
        const QString name255(255, u'n');
        QVERIFY(net::notification::encodeRequest({name255, name255, QString(4096, u'x')}));
        QVERIFY(!net::notification::encodeRequest({name255 + u'n', u"b"_s, u"t"_s}));
        QVERIFY(!net::notification::encodeRequest({u"a"_s, name255 + u'n', u"t"_s}));
        // 1365 three-byte characters and one more byte fill the text exactly; one more character does not fit.
        QVERIFY(net::notification::encodeRequest({u"a"_s, u"b"_s, QString(1365, u'あ') + u'x'}));
        QVERIFY(!net::notification::encodeRequest({u"a"_s, u"b"_s, QString(1366, u'あ')}));
    }

    void replies()
    {
        QCOMPARE(encodeReply(2136), QByteArray::fromHex("54564b4d 01 02 00000858"));
        QCOMPARE(parseReply(encodeReply(0)), std::optional<quint32>(0));
        QCOMPARE(parseReply(encodeReply(0xDEADBEEF)), std::optional<quint32>(0xDEADBEEF));
        QVERIFY(!parseReply(encodeReply(50).left(9)));
        QVERIFY(!parseReply(QByteArray::fromHex("54564b4d 01 01 00000000"))); // a request's type
        QVERIFY(!parseReply(QByteArray::fromHex("54564b4d 02 02 00000000")));
        QVERIFY(!parseReply(QByteArray::fromHex("58564b4d 01 02 00000000")));
    }

    void parseCompleteFrame()
    {
        const QByteArray bytes = frame("端末"_ba, "PCB"_ba, "line1\nline2"_ba);
        const RequestParse parse = parseRequest(QByteArray(bytes + "trailing"_ba));
        QCOMPARE(parse.outcome, RequestParse::Outcome::Complete);
        QCOMPARE(parse.consumed, bytes.size());
        QCOMPARE(parse.request.sender, u"端末"_s);
        QCOMPARE(parse.request.recipient, u"PCB"_s);
        QCOMPARE(parse.request.text, u"line1\nline2"_s);

        // A byte order mark is part of the text, not a marker to strip.
        QCOMPARE(parseRequest(frame("a", "b", "\xEF\xBB\xBFx")).request.text, u"\uFEFFx"_s);
    }

    void parseNeedsMoreAtEverySplit()
    {
        const QByteArray bytes = frame("PCA", "PCB", "こんにちは"_ba);
        for (qsizetype n = 0; n < bytes.size(); ++n)
            QVERIFY2(parseRequest(bytes.left(n)).outcome == RequestParse::Outcome::NeedMore,
                     qPrintable(QString::number(n)));
        QCOMPARE(parseRequest(bytes).outcome, RequestParse::Outcome::Complete);
    }

    void parseRejects_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<RequestParse::Outcome>("outcome");
        using O = RequestParse::Outcome;
        QTest::newRow("first byte") << "X"_ba << O::Foreign;
        QTest::newRow("fourth byte") << "TVKX"_ba << O::Foreign;
        QTest::newRow("magic in lower case") << "tvkm"_ba << O::Foreign;
        QTest::newRow("http") << "GET / HTTP/1.1\r\n"_ba << O::Foreign;
        QTest::newRow("version 2, before the rest") << "TVKM\x02"_ba << O::Malformed;
        QTest::newRow("version 0") << header(0, 1, 1, 1, 1) << O::Malformed;
        QTest::newRow("type 2, a reply") << "TVKM\x01\x02"_ba << O::Malformed;
        QTest::newRow("type 0") << header(1, 0, 1, 1, 1) << O::Malformed;
        // Oversized lengths are judged from the header alone, without any of the body.
        QTest::newRow("S 256") << header(1, 1, 256, 1, 1) << O::Malformed;
        QTest::newRow("R 256") << header(1, 1, 1, 256, 1) << O::Malformed;
        QTest::newRow("T 4097") << header(1, 1, 1, 1, 4097) << O::Malformed;
        QTest::newRow("T with the high bit") << header(1, 1, 1, 1, 0x80000000u) << O::Malformed;
        QTest::newRow("limits exactly, body missing") << header(1, 1, 255, 255, 4096) << O::NeedMore;
        QTest::newRow("overlong sender") << frame("\xC0\x80", "b", "t") << O::Malformed;
        QTest::newRow("surrogate recipient") << frame("a", "\xED\xA0\x80", "t") << O::Malformed;
        QTest::newRow("text cut in a character") << frame("a", "b", "\xE3\x81") << O::Malformed;
        QTest::newRow("character split across fields") << frame("a\xE3", "\x81\x82", "t") << O::Malformed;
        QTest::newRow("lone continuation byte") << frame("a", "b", "x\x80y") << O::Malformed;
        QTest::newRow("cp932 text") << frame("a", "b", "\x82\xA0") << O::Malformed;
    }
    void parseRejects()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(RequestParse::Outcome, outcome);
        QCOMPARE(parseRequest(bytes).outcome, outcome);
    }

    void parseAcceptsEmptyFieldsAndNul()
    {
        const RequestParse parse = parseRequest(frame("", "", QByteArray("a\0b", 3)));
        QCOMPARE(parse.outcome, RequestParse::Outcome::Complete);
        QCOMPARE(parse.request.text, QString(u"a\0b"_s));
        QVERIFY(parse.request.sender.isEmpty());
    }
    // The pipe to the pop-up process: every field arrives as it was, whatever it holds, and frames
    // that follow each other are taken apart at the right place.
    void popupFrameRoundTrip_data()
    {
        QTest::addColumn<Notification>("notification");
        const QDateTime arrival(QDate(2026, 12, 7), QTime(23, 59, 58, 123));
        QTest::newRow("plain") << Notification{u"PCA"_s, QHostAddress(u"192.168.1.20"_s), u"PCB"_s, u"hello"_s,
                                               arrival};
        QTest::newRow("empty sender, scoped IPv6")
            << Notification{QString(), QHostAddress(u"fe80::1%lo"_s), u"相手"_s, u"こんにちは\n二行目"_s, arrival};
        QTest::newRow("NUL, surrogate pair, the frame magic in the text")
            << Notification{u"a\0b"_s, QHostAddress(QHostAddress::LocalHost), u"\U0001F600"_s,
                            u"TVKP\x01"_s + QString(4096, u'x'), arrival};
        QTest::newRow("no address, no time") << Notification{u"s"_s, QHostAddress(), u"r"_s, u"t"_s, QDateTime()};
        QTest::newRow("time with an offset of its own")
            << Notification{u"s"_s, QHostAddress(u"::1"_s), u"r"_s, u"t"_s,
                            QDateTime(QDate(2026, 6, 1), QTime(12, 0), Qt::OffsetFromUTC, 9 * 3600)};
    }
    void popupFrameRoundTrip()
    {
        QFETCH(Notification, notification);
        const QByteArray frame = popupchannel::encodeNotification(notification);
        const QByteArray bytes = frame + frame + "TV"_ba;
        for (const qsizetype start : {qsizetype(0), frame.size()}) {
            const auto parse = popupchannel::parseNotification(QByteArrayView(bytes).sliced(start));
            QCOMPARE(parse.outcome, popupchannel::NotificationParse::Outcome::Complete);
            QCOMPARE(parse.consumed, frame.size());
            QCOMPARE(parse.notification.sender, notification.sender);
            QCOMPARE(parse.notification.senderAddress, notification.senderAddress);
            QCOMPARE(parse.notification.senderAddress.scopeId(), notification.senderAddress.scopeId());
            QCOMPARE(parse.notification.recipient, notification.recipient);
            QCOMPARE(parse.notification.text, notification.text);
            QCOMPARE(parse.notification.arrival, notification.arrival);
            QCOMPARE(parse.notification.arrival.offsetFromUtc(), notification.arrival.offsetFromUtc());
        }
        for (qsizetype n = 0; n < frame.size(); ++n)
            QVERIFY2(popupchannel::parseNotification(frame.left(n)).outcome ==
                         popupchannel::NotificationParse::Outcome::NeedMore,
                     qPrintable(QString::number(n)));
    }

    void popupFrameRejects_data()
    {
        using O = popupchannel::NotificationParse::Outcome;
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<O>("outcome");
        const QByteArray good = popupchannel::encodeNotification(
            {u"a"_s, QHostAddress(u"10.0.0.1"_s), u"b"_s, u"c"_s, QDateTime(QDate(2026, 1, 2), QTime(3, 4))});
        const auto withPayload = [](const QByteArray& payload) -> QByteArray {
            QByteArray frame("TVKP\x01"_ba);
            for (int shift = 24; shift >= 0; shift -= 8)
                frame += char((payload.size() >> shift) & 0xff);
            return frame + payload;
        };
        const auto header = [](quint32 size) {
            QByteArray frame("TVKP\x01"_ba);
            for (int shift = 24; shift >= 0; shift -= 8)
                frame += char((size >> shift) & 0xff);
            return frame;
        };
        // A payload of the right layout with the given address text and time kind.
        const auto fields = [](const QString& address, quint8 kind) {
            QByteArray payload;
            QDataStream out(&payload, QIODevice::WriteOnly);
            out << u"a"_s << address << u"b"_s << u"c"_s << kind << qint64(0) << qint32(0);
            return payload;
        };
        QByteArray oddString; // a string of 3 bytes of UTF-16, then the rest
        {
            QDataStream out(&oddString, QIODevice::WriteOnly);
            out << quint32(3);
        }
        oddString += "abc"_ba;
        QTest::newRow("own layout, for the rows below") << withPayload(fields(u"10.0.0.1"_s, 1)) << O::Complete;
        QTest::newRow("address that is not one") << withPayload(fields(u"not an address"_s, 1)) << O::Broken;
        QTest::newRow("unknown time kind") << withPayload(fields(u"10.0.0.1"_s, 3)) << O::Broken;
        QTest::newRow("first byte") << "X"_ba << O::Broken;
        QTest::newRow("the service's own magic") << "TVKM"_ba << O::Broken;
        QTest::newRow("version 2") << "TVKP\x02"_ba << O::Broken;
        QTest::newRow("version 0 with a whole frame") << QByteArray(good).replace(4, 1, "\x00", 1) << O::Broken;
        QTest::newRow("length just over the limit") << header(popupchannel::MaxPayload + 1) << O::Broken;
        QTest::newRow("length 4 GiB - 1") << header(0xFFFFFFFFu) << O::Broken;
        QTest::newRow("length at the limit, body missing") << header(popupchannel::MaxPayload) << O::NeedMore;
        QTest::newRow("payload cut short, length to match") << withPayload(good.mid(9).chopped(1)) << O::Broken;
        QTest::newRow("payload with a byte too many") << withPayload(good.mid(9) + 'x') << O::Broken;
        QTest::newRow("empty payload") << header(0) << O::Broken;
        QTest::newRow("odd UTF-16 length") << withPayload(oddString) << O::Broken;
        QTest::newRow("string longer than the payload")
            << withPayload(QByteArray::fromHex("7ffffffe") + "ab"_ba) << O::Broken;
    }
    void popupFrameRejects()
    {
        using O = popupchannel::NotificationParse::Outcome;
        QFETCH(QByteArray, bytes);
        QFETCH(O, outcome);
        QCOMPARE(popupchannel::parseNotification(bytes).outcome, outcome);
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
