# The phone window against the loopback fake PBX of the engine's tests.
if(TARGET quor_softphone)
    add_unit_test(tst_tquorphone
        SOURCES tst_tquorphone.cpp
                ${PROJECT_SOURCE_DIR}/tests/iax2/FakePbx.cpp ${PROJECT_SOURCE_DIR}/tests/iax2/FakePbx.h
        LIBS quor_softphone testsupport Qt6::Network
        TIMEOUT 180)
    target_include_directories(tst_tquorphone PRIVATE ${PROJECT_SOURCE_DIR}/tests/iax2)
endif()
