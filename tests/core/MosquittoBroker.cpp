#include "MosquittoBroker.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "ChildOfTest.h"
#include "Ser2net.h"

namespace {

bool Executable(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0;
}

} // namespace

std::string MosquittoBroker::Program() {
    // Debian puts the broker in /usr/sbin, which a user's PATH may lack.
    const char* path = ::getenv("PATH");
    std::stringstream folders(std::string(path ? path : "") + ":/usr/sbin:/usr/local/sbin");
    std::string folder;
    while (std::getline(folders, folder, ':'))
        if (!folder.empty() && Executable(folder + "/mosquitto"))
            return folder + "/mosquitto";
    return {};
}

MosquittoBroker::MosquittoBroker(const std::string& folder, const Options& options)
    : folder(folder), config(folder + "/mosquitto.conf") {
    if (Program().empty())
        return;
    if (!options.user.empty()) {
        passwords = folder + "/passwords";
        const std::string command = "mosquitto_passwd -b -c '" + passwords + "' '" + options.user +
                                    "' '" + options.password + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0)
            return;
    }
    // A port picked free can be taken by another test before the broker
    // binds it: then pick again.
    for (int attempt = 0; attempt < 5 && pid <= 0; ++attempt) {
        port = options.port > 0 ? options.port : FreeTcpPort();
        std::ofstream out(config);
        out << "listener " << port << " 127.0.0.1\n"
            << "persistence false\n"
            << "log_dest file " << folder << "/mosquitto.log\n"
            << "log_type error\nlog_type warning\nlog_type notice\nlog_type information\n";
        // As root the broker would change to the mosquitto user, who cannot
        // read the test's folder.
        if (::getuid() == 0)
            out << "user root\n";
        if (!options.certFile.empty())
            out << "cafile " << options.caFile << "\ncertfile " << options.certFile << "\nkeyfile "
                << options.keyFile << "\n";
        if (passwords.empty())
            out << "allow_anonymous true\n";
        else
            out << "allow_anonymous false\npassword_file " << passwords << "\n";
        out.close();
        Launch();
        if (options.port > 0)
            break;
    }
}

MosquittoBroker::~MosquittoBroker() {
    Thaw();
    Kill();
}

bool MosquittoBroker::Launch() {
    const std::string program = Program();
    const pid_t parent = ::getpid();
    pid = ::fork();
    if (pid == 0) {
        DieWithTest(parent);
        // Its own complaints (running as root) would clutter the test's output.
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, STDOUT_FILENO);
        ::dup2(quiet, STDERR_FILENO);
        ::execl(program.c_str(), "mosquitto", "-c", config.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid < 0)
        return false;
    for (int i = 0; i < 250; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1; // it did not start (the port taken, a bad configuration)
            return false;
        }
        if (TcpPortAccepts(port))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Kill();
    return false;
}

void MosquittoBroker::Kill() {
    if (pid <= 0)
        return;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

bool MosquittoBroker::Restart() {
    Kill();
    return !Program().empty() && Launch();
}

void MosquittoBroker::Freeze() {
    if (pid > 0)
        ::kill(pid, SIGSTOP);
}

void MosquittoBroker::Thaw() {
    if (pid > 0)
        ::kill(pid, SIGCONT);
}

bool MosquittoBroker::AddUser(const std::string& user, const std::string& password) {
    if (pid <= 0 || passwords.empty())
        return false;
    const std::string command =
        "mosquitto_passwd -b '" + passwords + "' '" + user + "' '" + password + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 && ::kill(pid, SIGHUP) == 0;
}

std::string MosquittoBroker::Log() const {
    std::ifstream in(folder + "/mosquitto.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
