#pragma once
// The faults a test can switch on while the server runs; read by every connection.

#include <atomic>

namespace testserver {

struct Faults {
    std::atomic<int> dropAfterRows{-1}; // the next result set: this many rows, then drop
    std::atomic<int> delayMs{0};        // hold every batch reply back this long
    std::atomic<bool> refuseLogins{false};
    std::atomic<bool> silent{false}; // new connections are accepted and never answered
    // Every pre-login is answered ENCRYPT_OFF, whatever the client asked: what a man in
    // the middle does to have only the login encrypted.
    std::atomic<bool> downgradeEncryption{false};

    // Takes the armed row limit, once.
    int takeDropAfterRows() {
        int rows = dropAfterRows.load();
        while (rows >= 0 && !dropAfterRows.compare_exchange_weak(rows, -1)) {
        }
        return rows;
    }
};

} // namespace testserver
