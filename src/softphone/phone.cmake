# The phone window: keypad, call control, call logs and the hosted settings and
# volume panels, over the IAX2 layer.
if(TARGET quor_voip AND TARGET quor_settings)
    qt_add_library(quor_softphone STATIC
        ${CMAKE_CURRENT_LIST_DIR}/TQuorPhone.cpp ${CMAKE_CURRENT_LIST_DIR}/TQuorPhone.h
        ${CMAKE_CURRENT_LIST_DIR}/TQuorPhoneCalls.cpp
    )
    set_target_properties(quor_softphone PROPERTIES AUTOUIC_SEARCH_PATHS ${PROJECT_SOURCE_DIR}/src/forms)
    # Users of TQuorPhone.h see the generated form header too.
    target_include_directories(quor_softphone PUBLIC ${CMAKE_CURRENT_LIST_DIR}
                                                     ${CMAKE_CURRENT_BINARY_DIR}/quor_softphone_autogen/include)
    target_link_libraries(quor_softphone
        PUBLIC quor_softphone_parts quor_voip quor_settings quor_widgets quor_resources Qt6::Widgets
        PRIVATE quor_compile_options)
endif()
