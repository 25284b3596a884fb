// The update download against references in the same run: a 100 MB archive from
// a loopback server (Python's http.server), fetched by our streamed download, by
// a bare Qt Network download to a file (readyRead straight into a QFile) and by
// curl when it is installed. The summary prints the time ratios and how much the
// peak resident memory grew during our download (it streams, so it must stay far
// below the file's size).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "reference_timing.h"
#include "web/download.h"

namespace {

constexpr size_t kArchiveBytes = size_t{100} << 20;

struct Site {
    std::string folder;
    std::string url;
    QProcess* server = nullptr;
};

Site& TheSite() {
    static Site site = [] {
        Site s;
        s.folder = (std::filesystem::temp_directory_path() / ("tevorin-bench-download-" + std::to_string(::getpid())))
                       .string();
        std::filesystem::create_directories(s.folder + "/site");
        std::mt19937_64 gen(7);
        std::string data(kArchiveBytes, '\0');
        for (size_t i = 0; i + 8 <= data.size(); i += 8) {
            const uint64_t v = gen();
            std::memcpy(&data[i], &v, 8);
        }
        std::ofstream(s.folder + "/site/tevorin0998.zip", std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
        s.server = new QProcess;
        s.server->setStandardErrorFile(QProcess::nullDevice());
        s.server->start("/usr/bin/python3", {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory",
                                             QString::fromStdString(s.folder + "/site")});
        QByteArray line;
        if (s.server->waitForStarted(10000))
            while (!line.contains('\n') && s.server->waitForReadyRead(10000)) line += s.server->readAllStandardOutput();
        const int at = line.indexOf("port ");
        if (at < 0) {
            std::fprintf(stderr, "the loopback server did not start\n");
            std::exit(1);
        }
        const int port = line.mid(at + 5, line.indexOf(' ', at + 5) - at - 5).toInt();
        s.url = "http://127.0.0.1:" + std::to_string(port) + "/tevorin0998.zip";
        return s;
    }();
    return site;
}

void CleanUp() {
    Site& s = TheSite();
    s.server->kill();
    s.server->waitForFinished(5000);
    delete s.server;
    std::error_code ec;
    std::filesystem::remove_all(s.folder, ec);
}

std::string Target(const char* who) { return TheSite().folder + "/" + who + ".zip"; }

void Ours() {
    const web::DownloadResult r = web::DownloadToFile(TheSite().url, Target("ours"));
    if (!r.Ok() || r.bytes != kArchiveBytes) {
        std::fprintf(stderr, "download failed: %s\n", r.message.c_str());
        std::exit(1);
    }
}

void BareQt() {
    QFile file(QString::fromStdString(Target("qt")));
    file.open(QIODevice::WriteOnly);
    QNetworkAccessManager manager;
    QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(QString::fromStdString(TheSite().url))));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::readyRead, [&] { file.write(reply->readAll()); });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    file.write(reply->readAll());
    delete reply;
}

bool HaveCurl() { return std::system("command -v curl >/dev/null 2>&1") == 0; }

void Curl() {
    const std::string cmd = "curl -s -o '" + Target("curl") + "' '" + TheSite().url + "'";
    if (std::system(cmd.c_str()) != 0) std::exit(1);
}

double BestSeconds(void (*fetch)(), int reps = 5) {
    double best = 1e30;
    for (int i = 0; i < reps; ++i) {
        const auto t0 = bench::Clock::now();
        fetch();
        best = std::min(best, std::chrono::duration<double>(bench::Clock::now() - t0).count());
    }
    return best;
}

long StatusKb(const char* key) {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
    return -1;
}

// Peak resident memory growth of one download, in MB.
double PeakGrowthMb(void (*fetch)()) {
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from now
    const long before = StatusKb("VmRSS:");
    fetch();
    return (StatusKb("VmHWM:") - before) / 1024.0;
}

double g_oursGrowthMb = 0, g_qtGrowthMb = 0;

void BM_OurDownload(benchmark::State& state) {
    for (auto _ : state) Ours();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kArchiveBytes));
}
BENCHMARK(BM_OurDownload)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_BareQtDownload(benchmark::State& state) {
    for (auto _ : state) BareQt();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kArchiveBytes));
}
BENCHMARK(BM_BareQtDownload)->Unit(benchmark::kMillisecond)->Iterations(3);

void Summary() {
    // Alternate the contenders so that a change of load hits both alike.
    double ours = 1e30, qt = 1e30;
    for (int round = 0; round < 3; ++round) {
        ours = std::min(ours, BestSeconds(Ours, 2));
        qt = std::min(qt, BestSeconds(BareQt, 2));
    }
    const double mb = kArchiveBytes / 1048576.0;
    std::printf("\n100 MB from a loopback server, best times:\n");
    std::printf("  ours      %.3f s (%.0f MB/s)\n", ours, mb / ours);
    std::printf("  bare Qt   %.3f s (%.0f MB/s)  speed ratio ours/bare Qt = %.2f\n", qt, mb / qt, qt / ours);
    if (HaveCurl()) {
        const double curl = BestSeconds(Curl, 3);
        std::printf("  curl      %.3f s (%.0f MB/s)  speed ratio ours/curl = %.2f\n", curl, mb / curl, curl / ours);
    }
    std::printf("peak resident memory growth, first download of the run: ours %.1f MB, bare Qt %.1f MB (file %.0f MB)\n",
                g_oursGrowthMb, g_qtGrowthMb, mb);
    CleanUp();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TheSite();
    // Before anything else has grown the heap.
    g_oursGrowthMb = PeakGrowthMb(Ours);
    g_qtGrowthMb = PeakGrowthMb(BareQt);
    return bench::RunThenSummarise(argc, argv, Summary);
}
