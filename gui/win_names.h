// For Win32 sources only, included right after <windows.h> and before any
// other gui header: the system headers name several functions through
// macros (TextOut becomes TextOutA, ...) that would rename members of
// this layer's classes in those sources only. They are taken back here;
// call the system functions by their A names (::TextOutA, ::DrawTextA).
#pragma once
#undef TextOut
#undef ExtTextOut
#undef DrawText
#undef DrawTextEx
#undef GetObject
#undef LoadBitmap
#undef LoadIcon
#undef LoadCursor
#undef LoadImage
#undef LoadMenu
#undef CreateWindow
#undef SendMessage
#undef PostMessage
#undef SetWindowText
#undef GetWindowText
#undef GetClassName
#undef RegisterClass
#undef MessageBox
#undef CharUpper
#undef CharLower
#undef InsertMenu
#undef AppendMenu
#undef ModifyMenu
#undef GetMenuString
#undef GetTextMetrics
#undef GetCharWidth
#undef GetCurrentTime
#undef FindText
#undef ReplaceText
#undef DrawState
#undef GetProp
#undef SetProp
#undef RemoveProp
