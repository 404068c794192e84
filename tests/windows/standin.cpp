// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for ffmpeg.exe or mencoder.exe in the Windows tests. What it
// does comes from $QUORVEL_STANDIN:
//   ok     ffmpeg's or mencoder's report (by the name it is installed
//          under) and an output file (the last argument) as large as it says
//   both   a megabyte on each channel, in turns
//   exit3  exit status 3
//   hang   its process id in $QUORVEL_STANDIN_PIDS/<id>, a child of its own
//          that does the same, then waits for ever
//   count  a number a line on its output every 20 ms, for ever
//   partial half its output file and no summary, then exit status 1
//   crash  half its output file, then an end as an access violation's
//   args   its arguments, one a line in UTF-8, in $QUORVEL_STANDIN_ARGS

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include <windows.h>

namespace {

std::string variable(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

void notePid()
{
    const std::string folder = variable("QUORVEL_STANDIN_PIDS");
    if (!folder.empty())
        std::ofstream(folder + "\\" + std::to_string(GetCurrentProcessId())) << GetCurrentProcessId();
}

[[noreturn]] void forever()
{
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

void startChild()
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = std::wstring(L"\"") + self + L"\" child";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    if (CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    }
}

void writeArguments()
{
    int count = 0;
    wchar_t **words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::ofstream out(variable("QUORVEL_STANDIN_ARGS"), std::ios::binary);
    for (int i = 1; i < count; ++i) {
        char utf8[4096];
        const int size = WideCharToMultiByte(CP_UTF8, 0, words[i], -1, utf8, sizeof utf8, nullptr, nullptr);
        out << std::string(utf8, size > 0 ? size - 1 : 0) << '\n';
    }
    LocalFree(words);
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 && std::strcmp(argv[argc - 1], "child") == 0 ? "child" : variable("QUORVEL_STANDIN");
    const std::string name = argv[0];
    const bool mencoder = name.find("mencoder") != std::string::npos;
    if (mode == "child") {
        notePid();
        forever();
    }
    if (mode == "hang") {
        notePid();
        startChild();
        forever();
    }
    if (mode == "count") {
        for (long n = 1;; ++n) {
            std::printf("%ld\n", n);
            std::fflush(stdout);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (mode == "args") {
        writeArguments();
        return 0;
    }
    if (mode == "partial" || mode == "crash") {
        std::ofstream(argv[argc - 1], std::ios::binary) << std::string(2500, 'v');
        std::fprintf(stderr, "frame=   20 fps=0.0 q=2.0 size=       2kB time=00:00:00.80\n");
        if (mode == "crash")
            TerminateProcess(GetCurrentProcess(), EXCEPTION_ACCESS_VIOLATION);
        return 1;
    }
    if (mode == "exit3")
        return 3;
    if (mode == "both") {
        const std::string line(1023, 'x');
        for (int i = 0; i < 1024; ++i) {
            std::fprintf(stdout, "%s\n", line.c_str());
            std::fprintf(stderr, "%s\n", line.c_str());
        }
        return 0;
    }
    // ok: the report the result check reads, and the file it describes.
    const std::string output = argv[argc - 1];
    std::ofstream(output, std::ios::binary) << std::string(5 * 1024 + 100, 'v');
    if (mencoder) {
        std::printf("Pos:   1.0s     25f (50%%)\rFlushing video frames.\nWriting index...\n\n"
                    "Video stream:  820.013 kbit/s  (102501 B/s)  size: 4000 bytes  2.000 secs  50 frames\n\n"
                    "Audio stream:  127.999 kbit/s  (15999 B/s)  size: 1000 bytes  2.000 secs\n");
    } else {
        std::fprintf(stderr, "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'in':\n  Duration: 00:00:02.00, start: 0.000000\n"
                             "  Stream #0:0(und): Video: h264 (High), yuv420p, 320x240, 25 fps\n"
                             "  Stream #0:1(und): Audio: aac (LC), 48000 Hz, stereo, fltp\n"
                             "frame=   50 fps=0.0 q=2.0 size=      10kB time=00:00:02.00 bitrate= 471.2kbits/s\n"
                             "video:4kB audio:1kB subtitle:0kB other streams:0kB global headers:0kB muxing overhead: 9.0%%\n");
    }
    return 0;
}
