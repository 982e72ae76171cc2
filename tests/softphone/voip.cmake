# The softphone's Qt layer against the loopback fake PBX of the engine's tests.
if(TARGET quor_voip)
    add_unit_test(tst_quoriaxclient
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_quoriaxclient.cpp
                ${PROJECT_SOURCE_DIR}/tests/iax2/FakePbx.cpp ${PROJECT_SOURCE_DIR}/tests/iax2/FakePbx.h
                ${PROJECT_SOURCE_DIR}/tests/iax2/EngineProbe.cpp ${PROJECT_SOURCE_DIR}/tests/iax2/EngineProbe.h
                ${PROJECT_SOURCE_DIR}/tests/iax2/IaxModem.h
        LIBS quor_voip testsupport Qt6::Network
        TIMEOUT 120)
    target_include_directories(tst_quoriaxclient PRIVATE ${PROJECT_SOURCE_DIR}/tests/iax2)
    if(TARGET quor_iax2_media)
        target_compile_definitions(tst_quoriaxclient PRIVATE QUOR_HAVE_IAX2_MEDIA=1)
    endif()
endif()
