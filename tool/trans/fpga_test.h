// The packet FPGAs' test commands of block "test": device tests (memories,
// register), loop tests, the controller state (sub-blocks "t_trans" for
// FPGA 0 and "t_sbuf" for FPGA 1) and the TCAM test (row "tcam").
#ifndef QUORBIX_TOOL_TRANS_FPGA_TEST_H
#define QUORBIX_TOOL_TRANS_FPGA_TEST_H

#include "tool/trans_op.h"

TransOpStatus get_trans_device_test_result(const char *params);
TransOpStatus get_sbuf_device_test_result(const char *params);
TransOpStatus get_trans_loop_test_result(const char *params);
TransOpStatus get_sbuf_loop_test_result(const char *params);
TransOpStatus get_trans_controller_device_state(const char *params);
TransOpStatus get_sbuf_controller_device_state(const char *params);
TransOpStatus get_tcam_device_test_result(const char *params);

#endif
