#pragma once
// The SQL Server Browser ([MC-SQLR]) on UDP: a client names an instance and learns its TCP
// port. Answers CLNT_UCAST_INST (0x04) for the instances it knows and CLNT_UCAST_EX /
// CLNT_BCAST_EX (0x03, 0x02) with all of them; ignores everything else.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace testserver {

class SqlBrowser {
public:
    // instance name (any letter case) -> its TCP port
    SqlBrowser(std::string hostName, std::map<std::string, std::uint16_t> instances,
               std::string version = "15.0.2000.5");
    ~SqlBrowser(); // stops
    SqlBrowser(const SqlBrowser&) = delete;
    SqlBrowser& operator=(const SqlBrowser&) = delete;

    // Binds 127.0.0.1:port (1434 is where clients ask). Throws std::runtime_error saying
    // plainly when the port is taken by another program.
    void start(std::uint16_t port = 1434);
    void stop();

    // The response datagram to one request; empty when the request gets none.
    std::string answer(const std::string& request) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace testserver
