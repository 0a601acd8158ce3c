#include "net/hostresolver.h"
#include "widgets/errortext.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <memory>
#include <optional>
#include <thread>

#include <netdb.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using common::Status;
using net::HostResolver;
using net::Resolution;

namespace {

/// A lookup that counts its calls and answers with fixed addresses (or fails when there are none).
struct CountingLookup
{
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
    QList<QHostAddress> answer;

    HostResolver::LookupFunction function() const
    {
        return [calls = calls, answer = answer](const QString& name) {
            ++*calls;
            return Resolution{answer, answer.isEmpty() ? Status::failure(Status::Code::NotFound, name) : Status()};
        };
    }

    HostResolver::FallbackFunction fallback() const
    {
        return [lookup = function()](const QString& name, HostResolver::Clock::time_point) { return lookup(name); };
    }
};

bool isJapanese(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x3000; });
}

} // namespace

class tst_HostResolver final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void literalsAreTakenAsTheyAre_data();
    void literalsAreTakenAsTheyAre();
    void namesThatOnlyLookLikeLiteralsAreLookedUp_data();
    void namesThatOnlyLookLikeLiteralsAreLookedUp();
    void refusesEmptyAndBrokenNames();
    void failuresKeepTheirCause_data();
    void failuresKeepTheirCause();
    void failureTexts_data();
    void failureTexts();
    void systemResolvesLocalhostIpv4First();
    void systemFailsOnInvalidNameWithJapaneseReason();
    void addressesAreDeduplicatedIpv4First();
    void answersAreCached();
    void failuresAreCachedForAShorterTime();
    void slowLookupNeverHoldsTheCallerPastTheBudget();
    void hangingLookupsAreBounded();
    void lateAnswerOutlivesTheResolver();
    void fallbackIsAskedOnlyWhenThePrimaryFindsNothing();
    void asynchronousAnswersComeOnTheContextsThreadOnce();
    void asynchronousTimeoutIsRememberedForTheNextCaller();
};

void tst_HostResolver::literalsAreTakenAsTheyAre_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address");
    QTest::newRow("IPv4") << u"192.168.10.20"_s << u"192.168.10.20"_s;
    QTest::newRow("IPv6") << u"2001:db8::7"_s << u"2001:db8::7"_s;
    QTest::newRow("IPv6 loopback") << u"::1"_s << u"::1"_s;
    QTest::newRow("IPv6 with scope") << u"fe80::1%lo"_s << u"fe80::1%lo"_s;
}

void tst_HostResolver::literalsAreTakenAsTheyAre()
{
    QFETCH(QString, name);
    QFETCH(QString, address);
    CountingLookup lookup;
    HostResolver resolver(lookup.function());
    const Resolution result = resolver.resolve(name);
    QCOMPARE(result.addresses, QList<QHostAddress>{QHostAddress(address)});
    QVERIFY(result.status.isOk());
    QCOMPARE(lookup.calls->load(), 0);
}

void tst_HostResolver::namesThatOnlyLookLikeLiteralsAreLookedUp_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("blank before") << u" 10.0.0.1"_s;
    QTest::newRow("blank after") << u"10.0.0.1 "_s;
    QTest::newRow("short form") << u"10.1"_s;
    QTest::newRow("digits only") << u"1001"_s;
    QTest::newRow("bracketed") << u"[::1]"_s;
    QTest::newRow("computer name") << u"PC-01"_s;
}

void tst_HostResolver::namesThatOnlyLookLikeLiteralsAreLookedUp()
{
    QFETCH(QString, name);
    CountingLookup lookup;
    lookup.answer = {QHostAddress(u"10.9.9.9"_s)};
    HostResolver resolver(lookup.function());
    QCOMPARE(resolver.resolve(name).addresses, lookup.answer);
    QCOMPARE(lookup.calls->load(), 1);
}

void tst_HostResolver::refusesEmptyAndBrokenNames()
{
    CountingLookup lookup;
    lookup.answer = {QHostAddress(u"10.9.9.9"_s)};
    HostResolver resolver(lookup.function());
    // A NUL would let "evil\0.example" resolve as "evil", or "10.0.0.1\0x" as the address before
    // it; an endless name is no host name.
    for (const QString& name : {QString(), u"pc\0.example"_s, u"10.0.0.1\0x"_s, QString(2000, u'a')}) {
        const Resolution result = resolver.resolve(name);
        QVERIFY2(result.addresses.isEmpty(), qPrintable(name.left(20)));
        QCOMPARE(result.status, Status::failure(Status::Code::NotFound, name.left(64)));
    }
    QCOMPARE(lookup.calls->load(), 0);
}

void tst_HostResolver::failuresKeepTheirCause_data()
{
    // What the primary lookup and the multicast DNS fallback answer, and what the caller learns.
    // Code Ok stands for a lookup that finds nothing and gives no reason; -1 for no fallback.
    QTest::addColumn<int>("primaryCode");
    QTest::addColumn<int>("primaryErrno");
    QTest::addColumn<int>("fallbackCode");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("sysErrno");
    const auto row = [](const char* tag, Status::Code primary, int primaryErrno, int fallback, Status::Code code,
                        int sysErrno) {
        QTest::newRow(tag) << int(primary) << primaryErrno << fallback << int(code) << sysErrno;
    };
    using Code = Status::Code;
    row("not found", Code::NotFound, 0, -1, Code::NotFound, 0);
    row("nothing, no reason", Code::Ok, 0, -1, Code::NotFound, 0);
    row("no name server", Code::NotFound, EAI_AGAIN, -1, Code::NotFound, EAI_AGAIN);
    row("system failure", Code::NotFound, EAI_SYSTEM, -1, Code::NotFound, EAI_SYSTEM);
    row("fallback cannot ask", Code::NotFound, EAI_AGAIN, int(Code::WrongState), Code::NotFound, EAI_AGAIN);
    row("fallback too late", Code::Ok, 0, int(Code::TimedOut), Code::NotFound, 0);
}

void tst_HostResolver::failuresKeepTheirCause()
{
    QFETCH(int, primaryCode);
    QFETCH(int, primaryErrno);
    QFETCH(int, fallbackCode);
    QFETCH(int, code);
    QFETCH(int, sysErrno);
    const auto failure = [](int failureCode, const QString& name, int failureErrno = 0) {
        if (failureCode == int(Status::Code::Ok))
            return Resolution{};
        return Resolution{{}, Status::failure(Status::Code(failureCode), name, failureErrno)};
    };
    HostResolver resolver([&](const QString& name) { return failure(primaryCode, name, primaryErrno); });
    if (fallbackCode >= 0) {
        resolver.setFallback([&](const QString& name, HostResolver::Clock::time_point) {
            return failure(fallbackCode, name + u".local"_s);
        });
    }
    const Resolution answer = resolver.resolve(u"PC-01"_s);
    QVERIFY(answer.addresses.isEmpty());
    QCOMPARE(answer.status, Status::failure(Status::Code(code), u"PC-01"_s, sysErrno));
}

void tst_HostResolver::failureTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("sysErrno");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("text");
    using Code = Status::Code;
    const auto row = [](const char* tag, Code code, int sysErrno, const QString& detail, const QString& text) {
        QTest::newRow(tag) << int(code) << sysErrno << detail << text;
    };
    row("empty name", Code::NotFound, 0, {}, u"コンピュータ名が空です。"_s);
    row("not found", Code::NotFound, 0, u"PC-01"_s, u"コンピュータ名「PC-01」が見つかりません。"_s);
    row("multicast DNS name not found", Code::NotFound, 0, u"PC-01.local"_s,
        u"コンピュータ名「PC-01.local」が見つかりません。"_s);
    row("budget over", Code::TimedOut, 0, u"PC-01"_s,
        u"コンピュータ名「PC-01」の名前解決が時間内に終わりませんでした。"_s);
    row("too many hanging", Code::TimedOut, EAGAIN, u"PC-01"_s,
        u"名前解決の要求が多すぎます。しばらくしてからやり直してください。"_s);
    row("no name server", Code::NotFound, EAI_AGAIN, u"PC-01"_s,
        u"コンピュータ名「PC-01」を今は解決できません（名前サーバーが応答しません）。"_s);
    // The system's own words in parentheses: the tests run in the C locale.
    row("other getaddrinfo failure", Code::NotFound, EAI_SYSTEM, u"PC-01"_s,
        u"コンピュータ名「PC-01」の名前解決に失敗しました（System error）。"_s);
    row("no thread", Code::NotFound, EAGAIN, u"PC-01"_s, u"名前解決を開始できませんでした。"_s);
}

void tst_HostResolver::failureTexts()
{
    QFETCH(int, code);
    QFETCH(int, sysErrno);
    QFETCH(QString, detail);
    QFETCH(QString, text);
    QCOMPARE(widgets::errorText(Status::failure(Status::Code(code), detail, sysErrno)), text);
}

void tst_HostResolver::systemResolvesLocalhostIpv4First()
{
    HostResolver resolver;
    const Resolution result = resolver.resolve(u"localhost"_s);
    QVERIFY2(!result.addresses.isEmpty(), qPrintable(widgets::errorText(result.status)));
    QVERIFY(result.addresses.constFirst().isLoopback());
    QCOMPARE(result.addresses.constFirst().protocol(), QAbstractSocket::IPv4Protocol);
}

void tst_HostResolver::systemFailsOnInvalidNameWithJapaneseReason()
{
    HostResolver resolver;
    const Resolution result = resolver.resolve(u"no-such-pc.invalid"_s);
    QVERIFY(result.addresses.isEmpty());
    QVERIFY(!result.status.isOk());
    const QString text = widgets::errorText(result.status);
    QVERIFY2(isJapanese(text) && text.contains(u"no-such-pc.invalid"_s), qPrintable(text));
}

void tst_HostResolver::addressesAreDeduplicatedIpv4First()
{
    CountingLookup lookup;
    lookup.answer = {QHostAddress(u"::1"_s), QHostAddress(u"10.0.0.1"_s), QHostAddress(u"::ffff:10.0.0.1"_s),
                     QHostAddress(u"::1"_s), QHostAddress(u"10.0.0.2"_s), QHostAddress(u"2001:db8::1"_s)};
    HostResolver resolver(lookup.function());
    const QList<QHostAddress> expected{QHostAddress(u"10.0.0.1"_s), QHostAddress(u"10.0.0.2"_s), QHostAddress(u"::1"_s),
                                       QHostAddress(u"2001:db8::1"_s)};
    QCOMPARE(resolver.resolve(u"pc"_s).addresses, expected);
}

void tst_HostResolver::answersAreCached()
{
    CountingLookup lookup;
    lookup.answer = {QHostAddress(u"10.0.0.5"_s)};
    HostResolver resolver(lookup.function());
    QCOMPARE(resolver.resolve(u"pc-a"_s).addresses, lookup.answer);
    QCOMPARE(resolver.resolve(u"pc-a"_s).addresses, lookup.answer);
    QCOMPARE(lookup.calls->load(), 1);
    resolver.resolve(u"pc-b"_s);
    QCOMPARE(lookup.calls->load(), 2);

    HostResolver uncached(lookup.function(), 2s, 0ms);
    uncached.resolve(u"pc-a"_s);
    uncached.resolve(u"pc-a"_s);
    QCOMPARE(lookup.calls->load(), 4);
}

void tst_HostResolver::failuresAreCachedForAShorterTime()
{
    CountingLookup failing;
    HostResolver resolver(failing.function(), 2s, 10min);
    QVERIFY(resolver.failureCacheTime() < 10min);
    QVERIFY(resolver.failureCacheTime() > 0ms);
    QVERIFY(resolver.resolve(u"gone"_s).addresses.isEmpty());
    QVERIFY(resolver.resolve(u"gone"_s).addresses.isEmpty());
    QCOMPARE(failing.calls->load(), 1);

    // Expiry: once the failure's time is over, the next call looks up again.
    HostResolver::Clock::time_point now{};
    resolver.setCacheClock([&now] { return now; });
    resolver.resolve(u"later"_s);
    now += resolver.failureCacheTime() - 1ms;
    resolver.resolve(u"later"_s);
    QCOMPARE(failing.calls->load(), 2);
    now += 1ms;
    resolver.resolve(u"later"_s);
    QCOMPARE(failing.calls->load(), 3);
}

void tst_HostResolver::slowLookupNeverHoldsTheCallerPastTheBudget()
{
    auto gate = std::make_shared<QSemaphore>();
    auto calls = std::make_shared<std::atomic<int>>(0);
    HostResolver resolver(
        [gate, calls](const QString&) {
            ++*calls;
            gate->acquire();
            return Resolution{{QHostAddress(u"10.1.2.3"_s)}, {}};
        },
        100ms);

    // Should resolve() wait for the lookup, only this watchdog would free it, and the test fails.
    std::atomic<bool> watchdogFired = false;
    QSemaphore testDone;
    std::thread watchdog([&] {
        if (!testDone.tryAcquire(1, 30000)) {
            watchdogFired = true;
            gate->release(10);
        }
    });

    const Resolution first = resolver.resolve(u"slow-pc"_s);
    const Resolution second = resolver.resolve(u"slow-pc"_s); // joins the same lookup
    const bool returnedWhileBlocked = !watchdogFired;
    gate->release();
    QVERIFY(returnedWhileBlocked);
    QVERIFY(first.addresses.isEmpty());
    QCOMPARE(first.status, Status::failure(Status::Code::TimedOut, u"slow-pc"_s));
    QVERIFY(second.addresses.isEmpty());

    // The late answer is served, without another lookup, once it has come in.
    QTRY_COMPARE(resolver.resolve(u"slow-pc"_s).addresses, QList<QHostAddress>{QHostAddress(u"10.1.2.3"_s)});
    QCOMPARE(calls->load(), 1);

    testDone.release();
    watchdog.join();
}

void tst_HostResolver::hangingLookupsAreBounded()
{
    auto gate = std::make_shared<QSemaphore>();
    auto started = std::make_shared<QSemaphore>();
    auto calls = std::make_shared<std::atomic<int>>(0);
    HostResolver resolver(
        [gate, started, calls](const QString&) {
            ++*calls;
            started->release();
            gate->acquire();
            return Resolution{{QHostAddress(u"10.1.2.3"_s)}, {}};
        },
        5ms);
    // A name service that hangs must not make every new name start one more waiting thread.
    for (int i = 0; i < HostResolver::MaxLookupsInFlight; ++i) {
        QVERIFY(resolver.resolve(u"pc-%1"_s.arg(i)).addresses.isEmpty());
        QVERIFY(started->tryAcquire(1, 10000));
    }
    const Resolution refused = resolver.resolve(u"one-more"_s);
    QVERIFY(refused.addresses.isEmpty());
    QCOMPARE(refused.status, Status::failure(Status::Code::TimedOut, u"one-more"_s, EAGAIN));
    QVERIFY(!started->tryAcquire(1, 100));

    // Once they have finished, their answers are kept and new names are looked up again.
    gate->release(HostResolver::MaxLookupsInFlight + 1);
    QTRY_VERIFY(!resolver.resolve(u"one-more"_s).addresses.isEmpty());
    // The workers finish in any order: pc-0's answer may come in after one-more's.
    QTRY_COMPARE(resolver.resolve(u"pc-0"_s).addresses, QList<QHostAddress>{QHostAddress(u"10.1.2.3"_s)});
    QCOMPARE(calls->load(), HostResolver::MaxLookupsInFlight + 1);
}

void tst_HostResolver::lateAnswerOutlivesTheResolver()
{
    auto gate = std::make_shared<QSemaphore>();
    std::weak_ptr<QSemaphore> workerState = gate;
    {
        auto resolver = std::make_unique<HostResolver>(
            [gate](const QString&) {
                gate->acquire();
                return Resolution{{QHostAddress(u"10.1.2.3"_s)}, {}};
            },
            20ms);
        QVERIFY(resolver->resolve(u"late-pc"_s).addresses.isEmpty());
    }
    // The worker finishes after its resolver is gone; then it drops its lookup (and the gate).
    auto keep = workerState.lock();
    gate.reset();
    keep->release();
    keep.reset();
    QTRY_VERIFY(workerState.expired());
}

void tst_HostResolver::fallbackIsAskedOnlyWhenThePrimaryFindsNothing()
{
    CountingLookup primary;
    CountingLookup fallback;
    fallback.answer = {QHostAddress(u"169.254.1.2"_s)};
    HostResolver resolver(primary.function(), 60s);
    resolver.setFallback(fallback.fallback());
    QCOMPARE(resolver.resolve(u"pc"_s).addresses, fallback.answer);
    QCOMPARE(fallback.calls->load(), 1);

    // The fallback learns when the caller stops waiting: within the budget, not already past.
    auto deadlineLeft = std::make_shared<std::atomic<qint64>>(-1);
    resolver.setFallback([deadlineLeft](const QString&, HostResolver::Clock::time_point deadline) {
        deadlineLeft->store(
            std::chrono::duration_cast<std::chrono::seconds>(deadline - HostResolver::Clock::now()).count());
        return Resolution{};
    });
    resolver.resolve(u"pc-with-deadline"_s);
    QVERIFY(deadlineLeft->load() > 0);
    QVERIFY(deadlineLeft->load() <= 60);
    resolver.setFallback(fallback.fallback());

    CountingLookup found;
    found.answer = {QHostAddress(u"10.0.0.8"_s)};
    resolver.setLookup(found.function());
    QCOMPARE(resolver.resolve(u"pc"_s).addresses, found.answer);
    QCOMPARE(fallback.calls->load(), 1);

    // Both fail: the answer says why the primary lookup failed.
    resolver.setLookup(primary.function());
    resolver.setFallback(CountingLookup{}.fallback());
    const Resolution none = resolver.resolve(u"other"_s);
    QVERIFY(none.addresses.isEmpty());
    QCOMPARE(none.status, Status::failure(Status::Code::NotFound, u"other"_s));
}

void tst_HostResolver::asynchronousAnswersComeOnTheContextsThreadOnce()
{
    CountingLookup lookup;
    lookup.answer = {QHostAddress(u"10.0.0.7"_s)};
    HostResolver resolver(lookup.function());
    QObject context;
    QHash<QString, Resolution> answers;
    QList<QThread*> threads;
    const auto record = [&](const QString& name) {
        return [&, name](const Resolution& found) {
            QVERIFY2(!answers.contains(name), "answered twice");
            answers.insert(name, found);
            threads << QThread::currentThread();
        };
    };
    resolver.resolveAsync(u"10.1.1.1"_s, &context, record(u"literal"_s));
    resolver.resolveAsync(u"pc-a"_s, &context, record(u"pc-a"_s));
    resolver.resolveAsync(u""_s, &context, record(u"empty"_s));
    QVERIFY(answers.isEmpty()); // never before the call returns, not even for an answer known at once
    QTRY_COMPARE(answers.size(), 3);
    QCOMPARE(answers.value(u"literal"_s).addresses, QList<QHostAddress>{QHostAddress(u"10.1.1.1"_s)});
    QCOMPARE(answers.value(u"pc-a"_s).addresses, lookup.answer);
    QCOMPARE(answers.value(u"empty"_s).status, Status::failure(Status::Code::NotFound));
    QCOMPARE(threads, QList<QThread*>(3, QThread::currentThread()));
    // The answer is cached for the blocking caller that follows.
    QCOMPARE(resolver.resolve(u"pc-a"_s).addresses, lookup.answer);
    QCOMPARE(lookup.calls->load(), 1);

    // A context destroyed before the answer comes gets none, and nothing breaks.
    auto gone = std::make_unique<QObject>();
    resolver.resolveAsync(u"pc-b"_s, gone.get(), record(u"pc-b"_s));
    gone.reset();
    // A second caller of the same lookup, asked after the first: its answer comes after the one
    // the first would have had, so once it is here the first's can no longer come.
    resolver.resolveAsync(u"pc-b"_s, &context, record(u"pc-b witness"_s));
    QTRY_VERIFY(answers.contains(u"pc-b witness"_s));
    QCOMPARE(lookup.calls->load(), 2);
    QVERIFY(!answers.contains(u"pc-b"_s));
}

void tst_HostResolver::asynchronousTimeoutIsRememberedForTheNextCaller()
{
    auto gate = std::make_shared<QSemaphore>();
    auto calls = std::make_shared<std::atomic<int>>(0);
    const auto hanging = [gate, calls](const QString&) {
        ++*calls;
        gate->acquire();
        return Resolution{{QHostAddress(u"10.1.2.3"_s)}, {}};
    };
    HostResolver resolver(hanging, 1s);
    QObject context;
    std::optional<Resolution> answer;
    resolver.resolveAsync(u"never-pc"_s, &context, [&](const Resolution& found) { answer = found; });
    QTRY_VERIFY_WITH_TIMEOUT(answer.has_value(), 10000); // the budget's end answers for the lookup
    QVERIFY(answer->addresses.isEmpty());
    QCOMPARE(answer->status, Status::failure(Status::Code::TimedOut, u"never-pc"_s));

    // A caller right after, as the partner notification after the status bar's lookup, does not
    // wait the budget again for the same lookup.
    QElapsedTimer waited;
    waited.start();
    const Resolution again = resolver.resolve(u"never-pc"_s);
    QVERIFY2(waited.elapsed() < 500, qPrintable(QString::number(waited.elapsed())));
    QCOMPARE(again.status, answer->status);
    QCOMPARE(calls->load(), 1);

    // The late answer replaces the remembered timeout as soon as it is there.
    gate->release();
    QTRY_COMPARE(resolver.resolve(u"never-pc"_s).addresses, QList<QHostAddress>{QHostAddress(u"10.1.2.3"_s)});
    QCOMPARE(calls->load(), 1);

    // A resolver that goes before the budget runs out still lets its caller know.
    std::optional<Resolution> orphaned;
    auto shortLived = std::make_unique<HostResolver>(hanging, 100ms);
    shortLived->resolveAsync(u"other-pc"_s, &context, [&](const Resolution& found) { orphaned = found; });
    shortLived.reset();
    QTRY_VERIFY(orphaned.has_value());
    QVERIFY(orphaned->addresses.isEmpty());
    gate->release();
}

QTEST_GUILESS_MAIN(tst_HostResolver)
#include "tst_hostresolver.moc"
