// The window, tray icon and print-out are built in this folder.
