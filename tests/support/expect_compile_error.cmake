# cmake -DCXX=... -DROOT=... -DSNIPPET=... -DCASE=n -DREASON=text -P this
# Compiles case CASE of SNIPPET. With an empty REASON the case must compile;
# otherwise it must fail with REASON in the compiler's message.
execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only -I${ROOT} -DFORMAT_CASE=${CASE} ${SNIPPET}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(REASON STREQUAL "")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "case ${CASE} should compile:\n${err}")
  endif()
elseif(rc EQUAL 0)
  message(FATAL_ERROR "case ${CASE} compiled; expected a refusal: ${REASON}")
elseif(NOT err MATCHES "${REASON}")
  message(FATAL_ERROR "case ${CASE} failed, but not for ${REASON}:\n${err}")
endif()
