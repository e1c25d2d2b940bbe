#include "transfer/ZKWTransferParmsPassChecker.h"

#include "link/RadioLink.h"
#include "transfer/PasswordDigits.h"
#include "transfer/TransferMessages.h"

int ZKWTransferParmsPassChecker::Run() {
    using namespace transfer_msg;
    std::string password;
    int result = -1;
    int counter = 0;
    granted_ = false;
    prompts_ = 0;
    while (!granted_ && counter <= kMaxPrompts) {
        MessageRecord reply;
        const int received = link->Receive(reply) ? 1 : -1;  // the transfer's 1 or -1
        if (received <= 0) {
            result = received;
            break;
        }
        result = received;
        if (reply.length < 2 || reply.buffer[0] != kGroup)
            break;
        const std::uint8_t code = reply.buffer[1];
        if (code == PasswordRequest) {
            bool answered = false;
            if (counter < kMaxPrompts && askPassword) {
                ++prompts_;
                answered = askPassword(password);
            }
            if (answered) {
                const auto digits = PackPasswordDigits(password);
                const int sent = link->SendCode2(kGroup, PasswordReply, digits.data(),
                                                 static_cast<int>(digits.size()));
                if (sent <= 0) {
                    // A reply that could not be sent ends the exchange with the send's result.
                    result = sent;
                    counter = kMaxPrompts;
                }
            } else {
                counter = kMaxPrompts;
            }
            ++counter;
        } else if (code == AccessGranted || code == AccessGrantedToo) {
            granted_ = true;
            result = 1;
        } else {
            break;
        }
    }
    if (!granted_ || result < 0)
        link->SendCode2(kGroup, TransferEnd, nullptr, 0);
    return result;
}
