# The softphone's layer over the IAX2 engine: QuorIaxClient, its events and the
# PBX account. No widgets: it only needs the engine, the core and QtCore.
if(TARGET quor_iax2)
    qt_add_library(quor_voip STATIC
        ${CMAKE_CURRENT_LIST_DIR}/QuorIaxClient.cpp ${CMAKE_CURRENT_LIST_DIR}/QuorIaxClient.h
        ${CMAKE_CURRENT_LIST_DIR}/TVoipAccount.cpp ${CMAKE_CURRENT_LIST_DIR}/TVoipAccount.h
        ${CMAKE_CURRENT_LIST_DIR}/VoipEvent.h
    )
    target_include_directories(quor_voip PUBLIC ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(quor_voip PUBLIC quor_iax2 quor_core Qt6::Core PRIVATE quor_compile_options)
    # The media library brings GSM, Speex and the sound card through PortAudio;
    # without it the phone still works with G.711 and no sound device.
    if(TARGET quor_iax2_media)
        target_link_libraries(quor_voip PRIVATE quor_iax2_media)
        target_compile_definitions(quor_voip PRIVATE QUOR_HAVE_IAX2_MEDIA=1)
    endif()
endif()
