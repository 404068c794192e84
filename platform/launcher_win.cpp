// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher.h"

#include "pause.h"
#include "stop.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

namespace {

constexpr DWORD waitStepMs = 20;

// One argument as the C runtime and CommandLineToArgvW read it back: quoted
// when it holds a blank or a quote (or always), backslashes doubled before a
// quote.
QString quoted(const QString &argument, bool always = false)
{
    if (!always && !argument.isEmpty() && !argument.contains(QLatin1Char(' '))
        && !argument.contains(QLatin1Char('\t')) && !argument.contains(QLatin1Char('"')))
        return argument;
    QString out = QStringLiteral("\"");
    int slashes = 0;
    for (const QChar c : argument) {
        if (c == QLatin1Char('\\')) {
            ++slashes;
            continue;
        }
        out += QString(c == QLatin1Char('"') ? slashes * 2 + 1 : slashes, QLatin1Char('\\'));
        out += c;
        slashes = 0;
    }
    return out + QString(slashes * 2, QLatin1Char('\\')) + QLatin1Char('"');
}

void closeHandle(HANDLE &handle)
{
    if (handle) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

struct Chunk {
    ToolProcess::Channel channel;
    QByteArray bytes;
};

using NtProcessCall = LONG(NTAPI *)(HANDLE);

// NtSuspendProcess and NtResumeProcess: exported by ntdll, declared nowhere.
NtProcessCall ntdllCall(const char *name)
{
    return reinterpret_cast<NtProcessCall>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

} // namespace

// The tool's handles. Each channel has a thread of its own that blocks in
// ReadFile and hands what it read to the waiting thread, which alone calls
// onOutput.
struct ToolProcess::Native {
    HANDLE process = nullptr;
    HANDLE job = nullptr; // the tool and whatever it starts; killed when closed
    HANDLE input = nullptr; // our end of the tool's standard input
    HANDLE pipes[2] = { nullptr, nullptr }; // our ends of its output and error
    std::thread readers[2];
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<Chunk> chunks;
    int open = 0; // readers still reading

    void read(int index)
    {
        char buffer[65536];
        DWORD got = 0;
        while (ReadFile(pipes[index], buffer, sizeof buffer, &got, nullptr) && got > 0) {
            const std::lock_guard<std::mutex> lock(mutex);
            chunks.push_back(Chunk { index == 0 ? Channel::Output : Channel::Error, QByteArray(buffer, int(got)) });
            arrived.notify_all();
        }
        const std::lock_guard<std::mutex> lock(mutex);
        --open;
        arrived.notify_all();
    }
    std::deque<Chunk> take()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return std::move(chunks);
    }
    void joinReaders()
    {
        for (std::thread &reader : readers) {
            if (reader.joinable())
                reader.join();
        }
    }
};

ToolProcess::ToolProcess()
    : m_native(std::make_unique<Native>())
{
}

ToolProcess::~ToolProcess()
{
    if (m_pid > 0)
        endGroup();
    closeAll();
}

qint64 ToolProcess::tree() const
{
    return qint64(reinterpret_cast<quintptr>(m_native->job));
}

bool ToolProcess::start(const QString &program, const QStringList &arguments)
{
    Native &n = *m_native;
    SECURITY_ATTRIBUTES inherited = { sizeof inherited, nullptr, TRUE };
    HANDLE childIn = nullptr;
    HANDLE childOut = nullptr;
    HANDLE childErr = nullptr;
    const auto closeChildEnds = [&] {
        closeHandle(childIn);
        closeHandle(childOut);
        closeHandle(childErr);
    };
    // The tool inherits its three ends and nothing else of the program's.
    if (!CreatePipe(&childIn, &n.input, &inherited, 0) || !CreatePipe(&n.pipes[0], &childOut, &inherited, 0)
        || !CreatePipe(&n.pipes[1], &childErr, &inherited, 0)) {
        m_startError = qt_error_string(int(GetLastError()));
        closeChildEnds();
        closeAll();
        return false;
    }
    for (HANDLE ours : { n.input, n.pipes[0], n.pipes[1] })
        SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0);
    HANDLE handed[] = { childIn, childOut, childErr };
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> attributes(size);
    auto *list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    InitializeProcThreadAttributeList(list, 1, 0, &size);
    UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handed, sizeof handed, nullptr, nullptr);

    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = childIn;
    startup.StartupInfo.hStdOutput = childOut;
    startup.StartupInfo.hStdError = childErr;
    startup.lpAttributeList = list;

    QString line = quoted(QDir::toNativeSeparators(program));
    for (const QString &argument : arguments)
        line += QLatin1Char(' ') + quoted(argument);
    std::wstring commandLine = line.toStdWString();
    const std::wstring path = QDir::toNativeSeparators(program).toStdWString();

    n.job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (n.job)
        SetInformationJobObject(n.job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    PROCESS_INFORMATION created = {};
    const BOOL started = CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW
                                            | CREATE_UNICODE_ENVIRONMENT,
                                        nullptr, nullptr, &startup.StartupInfo, &created);
    const DWORD error = GetLastError();
    DeleteProcThreadAttributeList(list);
    closeChildEnds();
    if (!started) {
        m_startError = qt_error_string(int(error));
        closeAll();
        return false;
    }
    // In its job before it runs a single instruction: nothing it starts
    // escapes a stop, and everything dies with the program.
    if (n.job)
        AssignProcessToJobObject(n.job, created.hProcess);
    ResumeThread(created.hThread);
    CloseHandle(created.hThread);
    n.process = created.hProcess;
    m_pid = qint64(created.dwProcessId);
    n.open = 2;
    for (int index = 0; index < 2; ++index)
        n.readers[index] = std::thread([&n, index] { n.read(index); });
    return true;
}

ToolProcess::End ToolProcess::run(const QString &program, const QStringList &arguments, const Stop &stop,
                                  const std::function<void(Channel, const QByteArray &)> &onOutput, Pause *pause)
{
    if (stop.isRequested())
        return End::Stopped;
    if (!start(program, arguments))
        return QFileInfo::exists(program) ? End::NotStarted : End::NotFound;
    m_pause = pause;
    if (m_pause)
        m_pause->enter(tree());
    Native &n = *m_native;
    const Stop::Watch wakeOnStop(stop, [&n] {
        const std::lock_guard<std::mutex> lock(n.mutex);
        n.arrived.notify_all();
    });
    const auto deliver = [&] {
        for (const Chunk &chunk : n.take()) {
            if (onOutput)
                onOutput(chunk.channel, chunk.bytes);
        }
    };
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(n.mutex);
            n.arrived.wait_for(lock, std::chrono::milliseconds(waitStepMs),
                               [&] { return !n.chunks.empty() || stop.isRequested() || n.open == 0; });
        }
        deliver();
        if (stop.isRequested()) {
            endGroup();
            return End::Stopped;
        }
        if (hasExited())
            break;
    }
    // Whatever it left running in its job goes with it, so that no writer
    // keeps the pipes open; what it wrote before it exited is read.
    if (n.job)
        TerminateJobObject(n.job, 1);
    n.joinReaders();
    deliver();
    reap();
    closeAll();
    return End::Finished;
}

// No terminate with a grace on Windows: the job's processes are ended at
// once, and waited for.
void ToolProcess::endGroup()
{
    Native &n = *m_native;
    if (n.job)
        TerminateJobObject(n.job, 1);
    if (n.process) {
        TerminateProcess(n.process, 1);
        WaitForSingleObject(n.process, INFINITE);
    }
    n.joinReaders();
    n.take();
    reap();
    closeAll();
}

bool ToolProcess::hasExited() const
{
    return m_native->process && WaitForSingleObject(m_native->process, 0) == WAIT_OBJECT_0;
}

void ToolProcess::reap()
{
    if (m_pause)
        m_pause->leave(tree());
    m_pause = nullptr;
    DWORD code = 0;
    if (m_native->process && GetExitCodeProcess(m_native->process, &code))
        m_exitCode = int(code);
    m_pid = 0;
}

void ToolProcess::closeAll()
{
    Native &n = *m_native;
    closeHandle(n.input);
    if (n.job)
        TerminateJobObject(n.job, 1);
    n.joinReaders();
    closeHandle(n.pipes[0]);
    closeHandle(n.pipes[1]);
    closeHandle(n.process);
    closeHandle(n.job);
}

QString shellLine(const QStringList &words)
{
    // cmd.exe reads & | < > ^ and brackets between quotes as letters, but
    // expands %name% even there: a percent sign is left outside them as ^%,
    // and the C runtime joins the pieces back into one argument.
    static const QString special = QStringLiteral(" \t\"&|<>^()%,;=");
    QStringList line;
    for (int i = 0; i < words.size(); ++i) {
        const QString &word = words.at(i);
        const bool plain = i > 0 && !word.isEmpty()
            && std::none_of(word.cbegin(), word.cend(), [](QChar c) { return special.contains(c); });
        line << (plain ? word : quoted(word, true).replace(QLatin1Char('%'), QLatin1String("\"^%\"")));
    }
    return line.join(QLatin1Char(' '));
}

void holdToolTree(qint64 tree, bool hold)
{
    static const NtProcessCall suspend = ntdllCall("NtSuspendProcess");
    static const NtProcessCall resume = ntdllCall("NtResumeProcess");
    const NtProcessCall call = hold ? suspend : resume;
    auto *job = reinterpret_cast<HANDLE>(quintptr(tree));
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[255];
    } ids = {};
    if (!call || !QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr))
        return;
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
        HANDLE process = OpenProcess(PROCESS_SUSPEND_RESUME, FALSE, DWORD(ids.list.ProcessIdList[i]));
        if (process) {
            call(process);
            CloseHandle(process);
        }
    }
}
