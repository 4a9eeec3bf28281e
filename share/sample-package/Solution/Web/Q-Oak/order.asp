<%@ Language=VBScript %>
<html><body>Q-Oak order page 2.1.1.0</body></html>
