#pragma once

// libjpeg's fatal errors, for the code that reads or writes a JPEG through it.
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

// libjpeg reports a fatal error through error_exit, which must not return: JpegErrorExit keeps
// the message and jumps back to the caller's setjmp(jump), which cleans up. Only plain C
// objects may live between the setjmp and the jump.
struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

inline void JpegErrorExit(j_common_ptr info) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}
