#include "devices/Fleet.h"

#include <algorithm>
#include <chrono>

#include <QEventLoop>
#include <QRegularExpression>
#include <QThread>

#include "devices/ConnectProcedure.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "link/Settings.h"
#include "link/TcpAddress.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo {

namespace {

// The longest wait for frames still queued when an amplifier's turn ends: a few frames and
// their pauses.
constexpr double kDrainMs = 3000;

std::optional<int> Whole(const QString &text, int min, int max)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,6}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int value = text.toInt();
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

// Everything a connect leaves in the state but the link itself, back as a fresh state has it:
// one amplifier's program, firmware or mode never stands for the next one's.
void ResetAmplifierState(AppState &s)
{
    const AppState fresh;
    s.programBuffer = fresh.programBuffer;
    s.gatherBuffer = fresh.gatherBuffer;
    s.peq = fresh.peq;
    s.mode = fresh.mode;
    s.testMode = fresh.testMode;
    s.firmwareMajor = fresh.firmwareMajor;
    s.firmwareMinor = fresh.firmwareMinor;
    s.currentProgram = fresh.currentProgram;
    s.bridgeAvailable = fresh.bridgeAvailable;
    s.inputGains = fresh.inputGains;
    s.link.reply = ReplyFields();
}

// Why a connect did not bring the amplifier online, as the result's problem.
void TakeConnectOutcome(ConnectOutcome outcome, const Link &link, const QString &display, FleetResult &r)
{
    switch (outcome) {
    case ConnectOutcome::NoAnswer:
        r.status = FleetStatus::NoAnswer;
        r.problem = QStringLiteral("skipped: nothing answered the connect frame");
        return;
    case ConnectOutcome::Cancelled:
        r.status = FleetStatus::Stopped;
        r.problem = QStringLiteral("stopped while connecting");
        return;
    case ConnectOutcome::PortLost:
        r.status = FleetStatus::Failed;
        r.problem = QStringLiteral("%1 lost while connecting: %2").arg(display, link.Loss().reason());
        return;
    case ConnectOutcome::NoWholeProgram:
        r.status = FleetStatus::Failed;
        r.problem = QStringLiteral("answered, but not with its whole program");
        return;
    case ConnectOutcome::NoStatus:
        r.status = FleetStatus::Failed;
        r.problem = QStringLiteral("sent its program but not its status; not connected");
        return;
    case ConnectOutcome::Online:
    case ConnectOutcome::OnlineWithoutProgram:
        break;
    }
    r.status = FleetStatus::Failed;
    r.problem = QStringLiteral("not connected");
}

}  // namespace

QString FleetAddress::text() const
{
    return sub ? QStringLiteral("%1.%2").arg(id).arg(*sub) : QString::number(id);
}

bool LooksLikeIdList(const QString &text)
{
    return text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('-')) || text.contains(QLatin1Char('.'));
}

std::optional<std::vector<FleetAddress>> ParseIdList(const QString &text, QString *problem)
{
    const auto refuse = [problem](const QString &why) -> std::optional<std::vector<FleetAddress>> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    std::vector<FleetAddress> list;
    const auto add = [&list](const FleetAddress &a) {
        for (const FleetAddress &b : list) {
            if (b == a)
                return false;
        }
        list.push_back(a);
        return true;
    };
    if (text.trimmed().isEmpty())
        return refuse(QStringLiteral("the ID list is empty"));
    for (const QString &raw : text.split(QLatin1Char(','))) {
        const QString item = raw.trimmed();
        if (item.isEmpty())
            return refuse(QStringLiteral("'%1' has an empty item").arg(text));
        const qsizetype dash = item.indexOf(QLatin1Char('-'));
        if (dash >= 0) {
            const auto first = Whole(item.left(dash), 1, 255);
            const auto last = Whole(item.mid(dash + 1), 1, 255);
            if (!first || !last)
                return refuse(QStringLiteral("'%1' is not a range of IDs in 1..255 (like 1-8)").arg(item));
            if (*first > *last)
                return refuse(QStringLiteral("the range '%1' falls; write it rising (%2-%3)").arg(item).arg(*last).arg(*first));
            for (int id = *first; id <= *last; ++id) {
                if (!add(FleetAddress{id, std::nullopt}))
                    return refuse(QStringLiteral("ID %1 is named twice").arg(id));
            }
            continue;
        }
        const qsizetype dot = item.indexOf(QLatin1Char('.'));
        FleetAddress a;
        const auto id = Whole(dot < 0 ? item : item.left(dot), 1, 255);
        if (!id)
            return refuse(QStringLiteral("'%1' is not an ID in 1..255").arg(item));
        a.id = *id;
        if (dot >= 0) {
            const auto sub = Whole(item.mid(dot + 1), 1, 65535);
            if (!sub)
                return refuse(QStringLiteral("'%1': the sub-address after the dot is not a number in 1..65535").arg(item));
            a.sub = *sub;
        }
        if (!add(a))
            return refuse(QStringLiteral("ID %1 is named twice").arg(a.text()));
    }
    return list;
}

std::optional<FleetPortSpec> ParsePortSpec(const QString &text, QString *problem)
{
    FleetPortSpec spec;
    // A port's own name holds no "=", so the list is whatever follows the last one.
    const qsizetype eq = text.lastIndexOf(QLatin1Char('='));
    spec.port = eq < 0 ? text : text.left(eq);
    if (spec.port.isEmpty()) {
        if (problem)
            *problem = QStringLiteral("--port '%1' names no port").arg(text);
        return std::nullopt;
    }
    if (eq >= 0) {
        QString why;
        spec.ids = ParseIdList(text.mid(eq + 1), &why);
        if (!spec.ids) {
            if (problem)
                *problem = QStringLiteral("--port '%1': %2").arg(text, why);
            return std::nullopt;
        }
    }
    return spec;
}

QString PortFileName(const QString &port)
{
    static const QRegularExpression comName(QStringLiteral("^[Cc][Oo][Mm]([0-9]{1,3})$"));
    QString name;
    if (const QRegularExpressionMatch com = comName.match(port); com.hasMatch()) {
        name = QStringLiteral("COM") + com.captured(1);
    } else if (IsTcpPortName(port)) {
        name = port.mid(port.indexOf(QLatin1String("://")) + 3);
        name.replace(QLatin1Char(':'), QLatin1Char('-'));
    } else {
        name = port;
        if (name.startsWith(QLatin1String("/dev/")))
            name = name.mid(5);
        while (name.startsWith(QLatin1Char('/')))
            name = name.mid(1);
        name.replace(QLatin1Char('/'), QLatin1Char('-'));
    }
    for (QChar &c : name) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                           c == u'.' || c == u'_' || c == u'-';
        if (!plain)
            c = u'_';
    }
    return name;
}

std::optional<FleetPortTarget> ResolveFleetPort(const QString &port, QString *problem)
{
    static const QRegularExpression comName(QStringLiteral("^[Cc][Oo][Mm]([0-9]{1,3})$"));
    FleetPortTarget target;
    if (const QRegularExpressionMatch com = comName.match(port); com.hasMatch()) {
        const int number = com.captured(1).toInt();
        if (number < 1 || number > 255) {
            if (problem)
                *problem = QStringLiteral("port '%1' is not COM1..COM255").arg(port);
            return std::nullopt;
        }
        target.device = Settings::PortDevicePath(number);
        target.display = QStringLiteral("COM%1").arg(number);
        if (!target.device.isEmpty() && target.device != target.display)
            target.display += QStringLiteral(" (%1)").arg(target.device);
        return target;
    }
    if (IsTcpPortName(port)) {
        QString why;
        if (!ParseTcpPortName(port, &why)) {
            if (problem)
                *problem = QStringLiteral("port '%1': %2").arg(port, why);
            return std::nullopt;
        }
    }
    target.device = port;
    target.display = port;
    return target;
}

QString FleetStatusText(FleetStatus status)
{
    switch (status) {
    case FleetStatus::Done:
        return QStringLiteral("done");
    case FleetStatus::Failed:
        return QStringLiteral("failed");
    case FleetStatus::NoAnswer:
        return QStringLiteral("no answer");
    case FleetStatus::Stopped:
        return QStringLiteral("stopped");
    case FleetStatus::NotDone:
        return QStringLiteral("not done");
    }
    return QString();
}

// What the runner and its buses share: the stop, and where each bus can be reached to hear of
// it.
struct FleetRunner::Shared {
    std::atomic<bool> stop{false};
    std::mutex mutex;
    // The stop as each bus takes it, run on that bus's thread; keyed by an object living there.
    struct Reach {
        QObject *context = nullptr;
        std::function<void()> stopHere;
    };
    std::vector<Reach> buses;
};

// One bus, on its own thread, from opening its port to closing it.
struct FleetRunner::BusRun {
    enum class Phase { Idle, Searching, Connecting, Working, Disconnecting };

    FleetRunner *runner;
    std::shared_ptr<Shared> shared;
    FleetWorkFactory factory;
    FleetBus bus;
    int index;
    bool mute;
    std::optional<FleetPortTarget> target;
    QString targetProblem;

    Phase phase = Phase::Idle;
    AppState *state = nullptr;
    SearchController *search = nullptr;
    ConnectController *connect = nullptr;

    template <typename F>
    void post(F &&f)
    {
        QMetaObject::invokeMethod(runner, std::forward<F>(f), Qt::QueuedConnection);
    }
    void report(const FleetResult &r)
    {
        post([r, runner = runner] { runner->take(r); });
    }

    // On this bus's thread, whenever the stop reaches it.
    void stopHere()
    {
        switch (phase) {
        case Phase::Searching:
            if (search)
                search->WindowClosed();
            break;
        case Phase::Connecting:
            if (connect)
                connect->Cancel();
            break;
        case Phase::Working:
            // The frame on the line finishes; frames still queued are dropped and no further
            // one is written, so the work runs out quickly against the silence.
            if (state)
                state->link.sendEnabled.store(0);
            break;
        case Phase::Idle:
        case Phase::Disconnecting:
            break;
        }
    }

    void run();
    void runAmplifier(Link &link, LinkController &linkController, ProgramApplier &applier, const FleetAddress &a);
};

void FleetRunner::BusRun::run()
{
    AppState appState;
    state = &appState;
    Link link(appState.link);
    LinkController linkController(link);
    ProgramApplier applier(appState);
    {
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->buses[static_cast<std::size_t>(index)] = Shared::Reach{&link, [this] { stopHere(); }};
    }

    std::vector<FleetAddress> amplifiers = bus.amplifiers;
    QString failure;
    const QString display = target ? target->display : bus.port;
    if (!target) {
        failure = targetProblem;
    } else {
        link.SetDeviceOverride(target->device);
        if (!link.OpenPort())
            failure = QStringLiteral("cannot open %1: %2").arg(display, link.OpenFailure().reason());
    }
    if (failure.isEmpty()) {
        appState.link.sendEnabled.store(1);
        appState.link.reply.replyAddress = 0;
        if (bus.search && !shared->stop.load()) {
            SearchController searchController(link);
            search = &searchController;
            phase = Phase::Searching;
            searchController.WindowShown();
            int rangeIndex = 0;
            for (int r = 0; r < kSearchRangeCount; ++r) {
                if (SearchRange(r).first == bus.search->first && SearchRange(r).last == bus.search->last)
                    rangeIndex = r;
            }
            if (!shared->stop.load())
                searchController.Search(rangeIndex);
            searchController.WindowClosed();
            phase = Phase::Idle;
            search = nullptr;
            link.WaitForIdle(kDrainMs);
            for (int id : searchController.Found()) {
                const FleetAddress a{id, std::nullopt};
                if (std::find(amplifiers.begin(), amplifiers.end(), a) == amplifiers.end())
                    amplifiers.push_back(a);
            }
            if (link.PortLost())
                failure = QStringLiteral("%1 lost during the search: %2").arg(display, link.Loss().reason());
        }
    }
    const int count = static_cast<int>(amplifiers.size());
    post([runner = runner, i = index, count] {
        runner->planned_ += count;
        emit runner->busPlanned(i, count);
    });
    if (!failure.isEmpty()) {
        post([runner = runner, i = index, failure] {
            runner->busProblems_[static_cast<std::size_t>(i)] = failure;
            emit runner->busFailed(i, failure);
        });
    }

    for (const FleetAddress &a : amplifiers) {
        if (shared->stop.load() || !failure.isEmpty() || link.PortLost()) {
            FleetResult r;
            r.bus = index;
            r.port = bus.port;
            r.amplifier = a;
            r.status = FleetStatus::NotDone;
            if (!failure.isEmpty())
                r.problem = failure;
            else if (link.PortLost())
                r.problem = QStringLiteral("%1 was lost before it was reached").arg(display);
            else
                r.problem = QStringLiteral("stopped before it was reached");
            report(r);
            continue;
        }
        runAmplifier(link, linkController, applier, a);
    }

    {
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->buses[static_cast<std::size_t>(index)] = Shared::Reach{};
    }
    state = nullptr;
    link.ClosePort();
}

void FleetRunner::BusRun::runAmplifier(Link &link, LinkController &linkController, ProgramApplier &applier,
                                       const FleetAddress &a)
{
    AppState &s = *state;
    FleetResult r;
    r.bus = index;
    r.port = bus.port;
    r.amplifier = a;
    const QString display = target ? target->display : bus.port;
    if (shared->stop.load()) {
        // The stop came as this amplifier's turn began: nothing was sent to it.
        r.status = FleetStatus::NotDone;
        r.problem = QStringLiteral("stopped before it was reached");
        report(r);
        return;
    }
    post([runner = runner, i = index, a] { emit runner->amplifierStarted(i, a); });
    const auto started = std::chrono::steady_clock::now();

    ResetAmplifierState(s);
    ConnectController connectController(s, link, linkController, applier);
    FleetSession session{s, link, linkController, applier, connectController, bus, index, a, shared->stop};
    const std::unique_ptr<FleetWork> work = factory ? factory(index, a) : nullptr;
    if (work)
        work->Prepare(session);

    ConnectRequest request;
    request.id = a.id;
    request.useSubAddress = a.sub.has_value();
    request.subAddress = a.sub.value_or(1);
    request.mute = mute;

    connect = &connectController;
    phase = Phase::Connecting;
    const bool online = connectController.Connect(request);
    phase = Phase::Working;
    connect = nullptr;
    if (!online) {
        TakeConnectOutcome(connectController.LastOutcome(), link, display, r);
    } else if (shared->stop.load()) {
        r.status = FleetStatus::Stopped;
        r.problem = QStringLiteral("stopped after connecting; nothing done");
    } else if (!work) {
        r.status = FleetStatus::Done;
        r.done = QStringLiteral("connected");
    } else {
        const bool done = work->Run(session, r);
        if (done) {
            r.status = FleetStatus::Done;
            r.problem.clear();
        } else {
            r.status = shared->stop.load() ? FleetStatus::Stopped : FleetStatus::Failed;
            if (link.PortLost() && r.problem.isEmpty())
                r.problem = QStringLiteral("%1 lost: %2").arg(display, link.Loss().reason());
            if (r.problem.isEmpty())
                r.problem = r.status == FleetStatus::Stopped ? QStringLiteral("stopped") : QStringLiteral("failed");
        }
    }

    // Whatever happened, the amplifier is let go as the single command lets it go: the
    // disconnect of a program closing, written even after a stop.
    phase = Phase::Disconnecting;
    s.link.sendEnabled.store(1);
    s.link.shuttingDown = kYes;
    // A connect that got an answer but did not end online (stopped, or part of the read-out
    // missing) has still reached the amplifier: it is let go like a connected one, which the
    // disconnect otherwise skips.
    const ConnectOutcome outcome = connectController.LastOutcome();
    if (!online && outcome != ConnectOutcome::NoAnswer && outcome != ConnectOutcome::PortLost && !link.PortLost())
        s.link.linkActive = kYes;
    connectController.Disconnect();
    link.WaitForIdle(kDrainMs);
    phase = Phase::Idle;
    if (link.PortLost() && r.status == FleetStatus::Done)
        r.done += QStringLiteral("; then %1 was lost before the disconnect").arg(display);

    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    report(r);
}

FleetRunner::FleetRunner(FleetPlan plan, FleetWorkFactory factory, QObject *parent)
    : QObject(parent), plan_(std::move(plan)), factory_(std::move(factory)), shared_(std::make_shared<Shared>())
{
    qRegisterMetaType<talvo::FleetAddress>();
    qRegisterMetaType<talvo::FleetResult>();
    results_.resize(plan_.buses.size());
    busProblems_.resize(plan_.buses.size());
    shared_->buses.resize(plan_.buses.size());
}

FleetRunner::~FleetRunner()
{
    RequestStop();
    for (QThread *t : threads_) {
        t->wait();
        delete t;
    }
}

void FleetRunner::Start()
{
    if (started_)
        return;
    started_ = true;
    busesLeft_ = static_cast<int>(plan_.buses.size());
    for (std::size_t i = 0; i < plan_.buses.size(); ++i) {
        auto run = std::make_shared<BusRun>();
        run->runner = this;
        run->shared = shared_;
        run->factory = factory_;
        run->bus = plan_.buses[i];
        run->index = static_cast<int>(i);
        run->mute = plan_.mute;
        if (run->bus.device.isEmpty())
            run->target = ResolveFleetPort(run->bus.port, &run->targetProblem);
        else
            run->target = FleetPortTarget{run->bus.device, run->bus.port == run->bus.device
                                                                ? run->bus.port
                                                                : QStringLiteral("%1 (%2)").arg(run->bus.port, run->bus.device)};
        QThread *thread = QThread::create([run] {
            run->run();
            run->post([runner = run->runner] { runner->busDone(); });
        });
        thread->setObjectName(QStringLiteral("talvo-bus-%1").arg(i + 1));
        threads_.push_back(thread);
        thread->start();
    }
    if (busesLeft_ == 0)
        emit finished();
}

void FleetRunner::RunToEnd()
{
    Start();
    if (busesLeft_ == 0)
        return;
    QEventLoop loop;
    connect(this, &FleetRunner::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

void FleetRunner::RequestStop()
{
    shared_->stop.store(true);
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    for (const Shared::Reach &reach : shared_->buses) {
        if (reach.context)
            QMetaObject::invokeMethod(reach.context, reach.stopHere, Qt::QueuedConnection);
    }
}

bool FleetRunner::StopRequested() const
{
    return shared_->stop.load();
}

void FleetRunner::take(const FleetResult &result)
{
    results_[static_cast<std::size_t>(result.bus)].push_back(result);
    ++finished_;
    emit amplifierFinished(result);
}

void FleetRunner::busDone()
{
    if (--busesLeft_ == 0)
        emit finished();
}

std::vector<FleetResult> FleetRunner::Results() const
{
    std::vector<FleetResult> all;
    for (const auto &bus : results_)
        all.insert(all.end(), bus.begin(), bus.end());
    return all;
}

}  // namespace talvo
