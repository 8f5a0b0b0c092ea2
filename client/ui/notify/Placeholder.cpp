// Tray icon and message popup live here.
